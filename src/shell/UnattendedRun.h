#pragma once
// An installation without a window: the window's flow with its screens on the terminal, Install
// taken as pressed at once. It writes the same start records and events as the window, and ends
// the run with the status of its outcome; the shell's termination sequence does the rest.

#include "shell/InstallOutcome.h"
#include "shell/RunResult.h"
#include "shell/TerminalScreens.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSInstallFlow;

namespace shell {

class RunReporter;

class UnattendedRun : public QObject {
    Q_OBJECT
public:
    // terminate ends the application loop with the given exit status.
    UnattendedRun(RunReporter &reporter, std::function<void(int)> terminate, QObject *parent = nullptr);
    ~UnattendedRun() override;

    // The window's start records (the launch arguments, the "Welcome" screen, the "Start" event),
    // then Install.
    void start(const QStringList &arguments);
    // What the run ended with, given the process's exit status: the flow's own outcome, or the
    // signal or crash that ended it first.
    RunResult result(int exitStatus) const;

    QSInstallFlow &flow() { return *flow_; }

private:
    void ended(const InstallOutcome &outcome);

    RunReporter &reporter_;
    std::function<void(int)> terminate_;
    std::unique_ptr<TerminalScreens> screens_;
    std::unique_ptr<QSInstallFlow> flow_;
    std::optional<InstallOutcome> outcome_;
    QString foundVersion_;  // of the copy that was already installed
    QElapsedTimer clock_;
};

}  // namespace shell
