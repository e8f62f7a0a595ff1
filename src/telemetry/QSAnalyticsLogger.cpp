#include "telemetry/QSAnalyticsLogger.h"

#include "platform/Console.h"
#include "platform/PersonalFiles.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSPortalProvider.h"
#include "telemetry/QSTimeFormat.h"

#include <QFile>
#include <QJsonDocument>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString orNullText(const QString &text)
{
    return text.isNull() ? QStringLiteral("(null)") : text;
}

// The whole run log as text; null when the file is missing or cannot be read.
QString readRunLog()
{
    // Read without following a link: root must never send out a file the person pointed it at.
    QString error;
    const int fd = platform::PersonalFiles::open(QSLogger::logFilePath(), O_RDONLY, 0, &error);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    QString text = QString::fromUtf8(bytes);
    if (text.isNull())
        text = QStringLiteral("");  // an empty file is text, not a missing one
    return text;
}

}  // namespace

void QSAnalyticsLogger::uploadTinyLogToS3(const QString &baseUrl, Completion completion)
{
    if (!completion)
        return;
    // Nothing is written to the run log here: the file must not change while it is read and sent.
    const QString logText = readRunLog();
    platform::console(QStringLiteral("Log File content: %1").arg(orNullText(logText)));

    // Plain concatenation: the base goes in unchanged, whatever characters it holds.
    const QString target = baseUrl + orNullText(QSPortalProvider::getCi()) + QStringLiteral("/tiny-") +
                           QSTimeFormat::uploadStamp() + QStringLiteral(".log");
    platform::console(QStringLiteral("Log Upload URL: %1").arg(target));

    QNetworkRequest request{QUrl(target)};
    QSHttp::setHeader(request, "Content-Type", QStringLiteral("application/json"));
    // A missing log still goes out, with an empty body.
    const QByteArray body = logText.isNull() ? QByteArray() : logText.toUtf8();
    const QSHttp::Result result = QSHttp::run(request, "PUT", body, {{kIdleTimeout, kDeadline}, kMaxAnswerBytes});

    completion(Response{result.data, result.statusCode, result.error});
    platform::console(QStringLiteral("ANALYTICS: %1").arg(orNullText(logText)));
}

QString QSAnalyticsLogger::jsonStringWithPrettyPrint(const QJsonObject &object, bool prettyPrint)
{
    // Qt's writer cannot fail on an object (numbers it cannot write become null), so there is
    // no failure to report here.
    QByteArray json = QJsonDocument(object).toJson(prettyPrint ? QJsonDocument::Indented : QJsonDocument::Compact);
    if (prettyPrint && json.endsWith('\n'))
        json.chop(1);  // the text ends with its closing brace, like the compact form
    return QString::fromUtf8(json);
}
