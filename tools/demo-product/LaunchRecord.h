#pragma once
// What the product writes about its own launch, so that tests can see how the installer started it.

#include <QString>
#include <QStringList>

namespace corvala {

struct LaunchRecord {
    QString executable;      // absolute path of the running executable
    uint uid = 0;            // real user id the product runs as
    QStringList arguments;   // the arguments after the program name, exactly as received

    // Arguments taken from the raw argv, before QApplication removes the ones it understands
    // (such as -platform), so the record shows what the launcher really passed.
    static LaunchRecord fromArgv(int argc, char **argv);

    // Writes {"executable": ..., "arguments": [...], "uid": ...} as JSON, replacing the file whole.
    [[nodiscard]] bool writeTo(const QString &path, QString *error) const;
};

}  // namespace corvala
