#pragma once
// A removal without a window (--remove --unattended): no question asked, the removal's phase on the
// terminal, and the run ended with the status of its outcome once the records have their addresses
// (or it is known that they have none). The shell's termination sequence sends them.

#include "engine/QSRemoval.h"
#include "shell/RunResult.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

namespace shell {

class RunReporter;

class UnattendedRemoval : public QObject {
    Q_OBJECT
public:
    // terminate ends the application loop with the given exit status.
    UnattendedRemoval(RunReporter &reporter, std::function<void(int)> terminate, QObject *parent = nullptr);

    void start();
    // What the run ended with, given the process's exit status.
    RunResult result(int exitStatus) const;

private:
    void ended(const QSRemoval::Result &result);
    void endWhenSettled();

    RunReporter &reporter_;
    std::function<void(int)> terminate_;
    QSRemoval removal_;
    std::optional<QSRemoval::Result> result_;
    QElapsedTimer clock_;
};

}  // namespace shell
