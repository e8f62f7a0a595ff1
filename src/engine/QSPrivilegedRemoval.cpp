#include "engine/QSPrivilegedRemoval.h"

#include "archive/RemovalProtocol.h"

#include <QCoreApplication>

#include <cstring>

using namespace archives::removal;
using Outcome = archives::RemovalReport::Outcome;

namespace {

// The helper deletes one bundle; a minute covers a very large one on a slow disk.
constexpr int kRemovalWaitMs = 60 * 1000;

QString afterPrefix(const QByteArray &line, const char *prefix)
{
    return QString::fromUtf8(line.mid(qsizetype(std::strlen(prefix))));
}

}  // namespace

QSPrivilegedRemoval::QSPrivilegedRemoval(QObject *parent)
    : QObject(parent),
      program_(QStringLiteral("/usr/bin/pkexec")),
      arguments_{QStringLiteral("--disable-internal-agent"), defaultHelperPath()}
{
    connect(&process_, &QProcess::finished, this, &QSPrivilegedRemoval::helperEnded);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            helperEnded(-1, QProcess::CrashExit);
    });
}

QSPrivilegedRemoval::~QSPrivilegedRemoval()
{
    disconnect(&process_, nullptr, this, nullptr);
    if (process_.state() != QProcess::NotRunning)
        process_.waitForFinished(kRemovalWaitMs);
}

QString QSPrivilegedRemoval::defaultHelperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tiny-installer-removal-helper");
}

void QSPrivilegedRemoval::start()
{
    done_ = false;
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(program_, arguments_);
}

void QSPrivilegedRemoval::helperEnded(int exitCode, QProcess::ExitStatus status)
{
    if (done_)
        return;
    done_ = true;
    archives::RemovalReport report;
    QString error;
    // At most a few lines; anything beyond a generous bound is not the helper's.
    const QList<QByteArray> lines = process_.read(1 << 20).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith(kRemovedPrefix)) {
            report.removed.append(afterPrefix(line, kRemovedPrefix));
        } else if (line.startsWith(kKeptPrefix)) {
            const QString text = afterPrefix(line, kKeptPrefix);
            const qsizetype tab = text.indexOf(QLatin1Char('\t'));
            report.kept.append({text.left(tab), tab < 0 ? QString() : text.mid(tab + 1)});
        } else if (line.startsWith(kErrorPrefix)) {
            error = afterPrefix(line, kErrorPrefix);
        }
    }
    const bool normal = status == QProcess::NormalExit;
    const bool notAuthorised = normal && (exitCode == PkexecNotAuthorized || exitCode == PkexecFailed);
    switch (normal ? exitCode : -1) {
    case Removed: report.outcome = Outcome::Removed; break;
    case NothingToRemove: report.outcome = Outcome::NothingToRemove; break;
    case Refused:
        report.outcome = Outcome::Refused;
        report.error = report.kept.isEmpty() ? QStringLiteral("refused") : report.kept.first().reason;
        break;
    default:
        report.outcome = Outcome::Failed;
        if (notAuthorised)
            report.error = QStringLiteral("pkexec ended with status %1").arg(exitCode);
        else if (!error.isEmpty())
            report.error = error;
        else if (!normal)
            report.error = process_.error() == QProcess::FailedToStart
                ? QStringLiteral("cannot start %1: %2").arg(program_, process_.errorString())
                : QStringLiteral("the removal helper crashed");
        else
            report.error = QStringLiteral("the removal helper ended with status %1").arg(exitCode);
        break;
    }
    emit finished(notAuthorised, report);
}
