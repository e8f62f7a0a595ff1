#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>
#include <QStringList>

class QProcess;

// Runs an external program and returns what it wrote to standard output (null when it wrote
// nothing or could not be started). Standard input and error are shared with the installer.
class QSTask {
public:
    static QString runTaskWithPath(const QString &path, const QStringList &arguments);
    // As above, but gives up after timeoutSeconds: the program is asked to terminate and the text
    // "Run Task with path: <path> could not complete in <n>s" is returned.
    static QString runTaskWithPath(const QString &path, const QStringList &arguments, double timeoutSeconds);
    // Polls every 0.1 s; true when the process ended within the time-out.
    static bool waitUntilExitWithTimeout(QProcess &process, double timeoutSeconds);

    QSTask() = delete;
};
