#include "telemetry/QSLogger.h"

#include "config/QSConfigProvider.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/InvokingPerson.h"
#include "platform/PersonalFiles.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSTimeFormat.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

// The two record templates, byte for byte; "%@" marks a field.
const QString kPlainTemplate = QStringLiteral(
    "{ \"time\": \"%@\",\"ci\": \"%@\", \"trace\": \"%@\", \"message\":\" %@\", \"lang\": \"%@\", "
    "\"country\": \"%@\", \"locale\": \"%@\", \"file\": \"%@\", \"fn\": \"%@\", \"line\": \"%@\" }\r\n");
const QString kEventTemplate = QStringLiteral(
    "{ \"time\": \"%@\",\"ci\": \"%@\", \"trace\": \"%@\", \"message\": %@, \"lang\": \"%@\", "
    "\"country\": \"%@\", \"locale\": \"%@\", \"file\": \"%@\", \"fn\": \"%@\", \"line\": \"%@\" }\r\n");

// Fills the markers left to right in one pass, so a value that itself holds "%@" or "%1" is
// written as it stands.
QString fill(const QString &pattern, const QStringList &values)
{
    QString out;
    out.reserve(pattern.size() + 256);
    qsizetype next = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = pattern.indexOf(QLatin1String("%@"), from);
        if (at < 0)
            break;
        out += QStringView(pattern).mid(from, at - from);
        out += values.value(next++);
        from = at + 2;
    }
    out += QStringView(pattern).mid(from);
    return out;
}

QString fillRecord(const QString &pattern, const QString &time, const QString &ci, const QString &trace,
                   const QString &message, const QSLogContext &context)
{
    // Values go in as they stand; nothing is escaped.
    return fill(pattern, {time, ci, trace, message, context.language, context.country, context.locale,
                          context.file, context.function, context.line});
}

void append(const QString &line)
{
    // The log lives in the person's home: no link below it is followed, even when running as root.
    QString error;
    const int folder = platform::PersonalFiles::openFolder(QSLogger::logDirectory(), true, &error);
    if (folder < 0) {
        platform::console(QStringLiteral("MKDIR Error! %1").arg(error));
        return;
    }
    const int fd = platform::PersonalFiles::openIn(folder, QFileInfo(QSLogger::logFilePath()).fileName(),
                                                   O_WRONLY | O_APPEND | O_CREAT, 0600, &error);
    ::close(folder);
    if (fd < 0) {
        platform::console(QStringLiteral("Write log error: %1").arg(error));
        return;
    }
    // One write of the whole record: with O_APPEND, records of two writers never interleave.
    const QByteArray bytes = line.toUtf8();
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    if (written != ssize_t(bytes.size())) {
        const QString reason = written < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                           : QStringLiteral("short write (%1 of %2 bytes)").arg(written).arg(bytes.size());
        platform::console(QStringLiteral("Write log error: %1").arg(reason));
    }
    ::close(fd);
}

}  // namespace

void QSLogger::debug(const QString &message, const QSLogContext &context)
{
    writeLog(QStringLiteral("DEBUG"), message, context);
}

void QSLogger::error(const QString &message, const QSLogContext &context)
{
    writeLog(QStringLiteral("ERROR"), message, context);
}

void QSLogger::showScreen(const QString &screenName, const QSLogContext &context)
{
    debug(QStringLiteral("Show %1 screen").arg(screenName), context);
}

void QSLogger::logEvent(const QString &eventText, const QSLogContext &context)
{
    writeEvent(QStringLiteral("EVT"), eventText, context);
}

void QSLogger::writeLog(const QString &trace, const QString &message, const QSLogContext &context)
{
    const QString line = fillRecord(kPlainTemplate, QSTimeFormat::isoWithOffset(), QSPortalProvider::getCi(), trace,
                                    message, context);
    append(maskPIIDataInMessage(line));
}

void QSLogger::writeEvent(const QString &trace, const QString &eventText, const QSLogContext &context)
{
    const EventText event = splitEventText(eventText);
    append(maskPIIDataInMessage(fillRecord(kEventTemplate, event.time, event.ci, trace, event.message, context)));
}

QSLogger::EventText QSLogger::splitEventText(const QString &eventText)
{
    // The first piece is the time, the second carries the ci. Only those two are cut out: a
    // text of a million blanks would otherwise become a million pieces.
    EventText event;
    const qsizetype firstBlank = eventText.indexOf(QLatin1Char(' '));
    event.time = firstBlank < 0 ? eventText : eventText.left(firstBlank);
    QString ciPiece;
    if (firstBlank >= 0) {
        const qsizetype secondBlank = eventText.indexOf(QLatin1Char(' '), firstBlank + 1);
        ciPiece = eventText.mid(firstBlank + 1, secondBlank < 0 ? -1 : secondBlank - firstBlank - 1);
    }
    event.ci = ciPiece.section(QLatin1Char('='), 1, 1);
    event.message = eventText;
    if (!event.time.isEmpty())
        event.message.remove(event.time);
    if (!ciPiece.isEmpty())
        event.message.remove(ciPiece);
    event.message = event.message.trimmed();
    return event;
}

QString QSLogger::maskPIIDataInMessage(const QString &text)
{
    QString masked = text;
    // Started through sudo or pkexec, the person's own name is masked as well as root's.
    if (const auto person = platform::InvokingPerson::current(); person && !person->name.isEmpty())
        masked.replace(person->name, QStringLiteral("****"), Qt::CaseSensitive);
    const QString login = platform::host().loginName();
    if (!login.isEmpty())
        masked.replace(login, QStringLiteral("****"), Qt::CaseSensitive);
    return masked;
}

QString QSLogger::logDirectory()
{
    return platform::host().homeDirectory() + QSConfigProvider::getEnvSpecificAppDataPath() + QStringLiteral("/Logs");
}

QString QSLogger::logFilePath()
{
    return logDirectory() + QStringLiteral("/tiny.log");
}

bool QSLogger::deleteLogFile()
{
    // Through the folder's handle, as the log is written: a Logs folder that is a link leads
    // nowhere, and as root only the person's own file goes.
    QString ignored;
    return platform::PersonalFiles::removeFile(logFilePath(), &ignored);
}
