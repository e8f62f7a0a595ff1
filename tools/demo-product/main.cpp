// Corvala, the product that the installer delivers. For the demo and the tests it shows how it was
// started and records that in the file named by CORVALA_ARGS_FILE; CORVALA_EXIT_AFTER_MS makes it
// quit by itself after that many milliseconds. Started with a clean environment (an installer that
// runs as root launches it as the person), the same two settings come from
// Contents/Resources/launch-settings.json inside its bundle: {"argsFile": ..., "exitAfterMs": ...}.

#include "LaunchRecord.h"
#include "ProductWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

// The environment's value, else the bundle's launch settings' value.
QString setting(const corvala::LaunchRecord &record, const char *variable, const QString &key)
{
    const QString fromEnvironment = qEnvironmentVariable(variable);
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    QFile file(QFileInfo(record.executable).path() + QStringLiteral("/../Resources/launch-settings.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(key).toVariant().toString();
}

}  // namespace

int main(int argc, char **argv)
{
    // Recorded before the window system is touched, so the record exists even when no display
    // can be opened.
    const corvala::LaunchRecord record = corvala::LaunchRecord::fromArgv(argc, argv);
    const QString recordPath = setting(record, "CORVALA_ARGS_FILE", QStringLiteral("argsFile"));
    if (!recordPath.isEmpty()) {
        QString error;
        if (!record.writeTo(recordPath, &error)) {
            std::fprintf(stderr, "Corvala: cannot write the launch record to %s: %s\n",
                         qPrintable(recordPath), qPrintable(error));
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvala"));
    QApplication::setOrganizationName(QStringLiteral("Brightmoor"));

    const QString exitAfter = setting(record, "CORVALA_EXIT_AFTER_MS", QStringLiteral("exitAfterMs"));
    if (!exitAfter.isEmpty()) {
        bool ok = false;
        const int milliseconds = exitAfter.toInt(&ok);
        if (!ok || milliseconds < 0) {
            std::fprintf(stderr, "Corvala: CORVALA_EXIT_AFTER_MS is not a number of milliseconds: %s\n",
                         qPrintable(exitAfter));
            return 2;
        }
        QTimer::singleShot(milliseconds, &app, &QCoreApplication::quit);
    }

    corvala::ProductWindow window(record.arguments);
    window.show();
    return QApplication::exec();
}
