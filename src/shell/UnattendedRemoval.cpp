#include "shell/UnattendedRemoval.h"

#include "shell/ExitStatus.h"
#include "shell/InstallOutcome.h"
#include "shell/RunReporter.h"
#include "telemetry/QSLogger.h"

namespace shell {
namespace {

// The status, word and sentence of each way a removal ends; %2 is what was removed, or why not.
InstallOutcome removalOutcome(QSRemoval::Outcome outcome)
{
    switch (outcome) {
    case QSRemoval::Outcome::Removed:
        return {kExitPlaced, QStringLiteral("removed"), QStringLiteral("%1 was removed: %2")};
    case QSRemoval::Outcome::NothingToRemove:
        return {kExitNothingChanged, QStringLiteral("nothing_to_remove"), QStringLiteral("%1 is not installed: nothing was removed")};
    case QSRemoval::Outcome::Refused:
        return {kExitRemovalRefused, QStringLiteral("removal_refused"), QStringLiteral("%1 was not removed: %2")};
    case QSRemoval::Outcome::NotAuthorised:
        return {kExitNotAuthorised, QStringLiteral("not_authorised"),
                QStringLiteral("the authorisation to remove %1 was refused: nothing was removed")};
    case QSRemoval::Outcome::Failed:
        break;
    }
    return {kExitPlacementFailed, QStringLiteral("removal_failed"), QStringLiteral("%1 was not removed: %2")};
}

}  // namespace

UnattendedRemoval::UnattendedRemoval(RunReporter &reporter, std::function<void(int)> terminate, QObject *parent)
    : QObject(parent), reporter_(reporter), terminate_(std::move(terminate))
{
    clock_.start();
    connect(&removal_, &QSRemoval::finished, this, &UnattendedRemoval::ended);
    connect(&removal_, &QSRemoval::addressesSettled, this, [this](const QString &failure) {
        if (!failure.isEmpty())
            reporter_.note(failure);
        endWhenSettled();
    });
}

void UnattendedRemoval::start()
{
    QSLogger::debug(QStringLiteral("Unattended run: removal without asking"), QS_LOG_CONTEXT("-[UnattendedRemoval start]"));
    reporter_.phase(QStringLiteral("Removing"));
    if (removal_.isProductRunning())
        reporter_.note(QStringLiteral("%1 is running; its files are removed all the same. Quit it to finish.").arg(removal_.productName()));
    removal_.loadAddresses();
    removal_.start();
}

void UnattendedRemoval::ended(const QSRemoval::Result &result)
{
    result_ = result;
    // What was found and left alone is named, each on its own line above the result.
    for (const auto &kept : result.report.kept)
        reporter_.note(QStringLiteral("left alone %1: %2").arg(kept.path, kept.reason));
    endWhenSettled();
}

void UnattendedRemoval::endWhenSettled()
{
    // The records go at exit to the configuration's addresses: the end waits for them (the request
    // has its own deadline), so that a removal sends what any run sends.
    if (result_ && !removal_.addressesPending())
        terminate_(removalOutcome(result_->outcome).status);
}

RunResult UnattendedRemoval::result(int exitStatus) const
{
    RunResult result;
    result.status = exitStatus;
    result.product = removal_.productName();
    result.path = removal_.bundlePath();
    result.seconds = double(clock_.elapsed()) / 1000.0;
    result.logPath = QSLogger::logFilePath();
    const bool answered = result_ && removalOutcome(result_->outcome).status == exitStatus;
    // Ended by a signal or a crash before the removal answered: the ending's own words.
    const InstallOutcome outcome = answered ? removalOutcome(result_->outcome) : InstallOutcome::fromEndingStatus(exitStatus);
    const QString detail = !answered                                          ? result.path
                           : result_->outcome == QSRemoval::Outcome::Removed ? result_->report.removed.join(QStringLiteral(", "))
                                                                              : result_->reason;
    result.outcome = outcome.outcome;
    result.message = outcome.sentence(result.product, detail);
    return result;
}

}  // namespace shell
