#include "telemetry/QSTask.h"

#include "platform/Console.h"
#include "telemetry/QSLogger.h"

#include <QElapsedTimer>
#include <QProcess>

namespace {

// The runner's records name the class, not the source file.
QSLogContext taskContext(QSLogContext context)
{
    context.file = QStringLiteral("QSTask");
    return context;
}

// Output up to the first zero byte; null when the program wrote nothing.
QString outputText(QProcess &process)
{
    QByteArray bytes = process.readAllStandardOutput();
    if (bytes.isEmpty())
        return {};
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

bool start(QProcess &process, const QString &path, const QStringList &arguments, const QSLogContext &context)
{
    process.setProgram(path);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start();
    if (process.waitForStarted(-1))
        return true;
    const QString reason = process.errorString();
    platform::console(QStringLiteral("Exception: %1").arg(reason));
    QSLogger::error(QStringLiteral("Run Task with path: %1 threw an exception: %2").arg(path, reason), context);
    return false;
}

// Asked to stop, the program gets a moment to go; then it is killed so that no zombie is left.
void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(1000)) {
        process.kill();
        process.waitForFinished(1000);
    }
}

}  // namespace

QString QSTask::runTaskWithPath(const QString &path, const QStringList &arguments)
{
    QProcess process;
    if (!start(process, path, arguments, taskContext(QS_LOG_CONTEXT("+[QSTask runTaskWithPath:andArguments:]"))))
        return {};
    process.waitForFinished(-1);
    return outputText(process);
}

QString QSTask::runTaskWithPath(const QString &path, const QStringList &arguments, double timeoutSeconds)
{
    QProcess process;
    if (!start(process, path, arguments, taskContext(QS_LOG_CONTEXT("+[QSTask runTaskWithPath:arguments:timeout:]"))))
        return {};
    if (waitUntilExitWithTimeout(process, timeoutSeconds))
        return outputText(process);
    stop(process);
    return QStringLiteral("Run Task with path: %1 could not complete in %2s").arg(path).arg(int(timeoutSeconds));
}

bool QSTask::waitUntilExitWithTimeout(QProcess &process, double timeoutSeconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(timeoutSeconds * 1000.0);
    // Look every 0.1 s while time is left; waitForFinished also drains the output pipe.
    while (process.state() != QProcess::NotRunning && clock.elapsed() < limitMs)
        process.waitForFinished(100);
    return process.state() == QProcess::NotRunning;
}
