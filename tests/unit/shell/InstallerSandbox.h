#pragma once
// The built installer in a sandbox: a copy of the bundle with a test Info.plist (configuration
// address on a closed port, data under the sandbox's home), HOME and TMPDIR inside a scratch
// folder, and a running instance whose console lines and run-log records the test can wait for.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class InstallerSandbox {
public:
    InstallerSandbox();

    static constexpr const char *kBundleIdentifier = "com.brightmoor.corvala.tinyinstaller.shelltest";

    QString root() const { return dir_.path(); }
    QString home() const { return root() + QStringLiteral("/home"); }
    QString tmp() const { return root() + QStringLiteral("/tmp"); }
    QString executable() const { return root() + QStringLiteral("/TinyInstaller.app/Contents/MacOS/TinyInstaller"); }
    QString logPath() const { return home() + QStringLiteral("/AppData/Logs/tiny.log"); }
    QStringList records() const;
    QProcessEnvironment environment() const;
    bool ok() const { return ok_; }

private:
    QTemporaryDir dir_;
    bool ok_ = false;
};

class RunningInstaller {
public:
    // Starts program (the sandbox's executable unless given) with the sandbox's environment.
    RunningInstaller(const InstallerSandbox &sandbox, const QStringList &arguments, const QString &program = QString(),
                     const QProcessEnvironment &environment = QProcessEnvironment());
    ~RunningInstaller();

    bool started() const { return started_; }
    qint64 pid() const { return process_.processId(); }
    void signal(int signalNumber);
    // Waits for the process to end; false when it has not within the time.
    bool finish(int timeoutMs = 15000);
    int exitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }
    bool isRunning() const { return process_.state() == QProcess::Running; }

    QStringList consoleLines();
    bool waitForConsoleLine(const QString &line, int timeoutMs = 15000);
    // Reads the console until the lines satisfy the condition or the time is up.
    bool waitForConsole(const std::function<bool(const QStringList &)> &condition, int timeoutMs = 15000);
    bool waitForRecord(const QString &prefix, int timeoutMs = 15000);

private:
    void readOutput(int waitMs);

    const InstallerSandbox &sandbox_;
    QProcess process_;
    QByteArray console_;
    bool started_ = false;
};
