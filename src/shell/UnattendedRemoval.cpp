#include "shell/UnattendedRemoval.h"

#include "shell/ExitStatus.h"
#include "shell/InstallOutcome.h"
#include "shell/RunReporter.h"
#include "telemetry/QSLogger.h"

namespace shell {

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

int UnattendedRemoval::statusFor(QSRemoval::Outcome outcome)
{
    switch (outcome) {
    case QSRemoval::Outcome::Removed: return kExitPlaced;
    case QSRemoval::Outcome::NothingToRemove: return kExitNothingChanged;
    case QSRemoval::Outcome::Refused: return kExitRemovalRefused;
    case QSRemoval::Outcome::NotAuthorised: return kExitNotAuthorised;
    case QSRemoval::Outcome::Failed: break;
    }
    return kExitPlacementFailed;
}

QString UnattendedRemoval::wordFor(QSRemoval::Outcome outcome)
{
    switch (outcome) {
    case QSRemoval::Outcome::Removed: return QStringLiteral("removed");
    case QSRemoval::Outcome::NothingToRemove: return QStringLiteral("nothing_to_remove");
    case QSRemoval::Outcome::Refused: return QStringLiteral("removal_refused");
    case QSRemoval::Outcome::NotAuthorised: return QStringLiteral("not_authorised");
    case QSRemoval::Outcome::Failed: break;
    }
    return QStringLiteral("removal_failed");
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
        terminate_(statusFor(result_->outcome));
}

RunResult UnattendedRemoval::result(int exitStatus) const
{
    RunResult result;
    result.status = exitStatus;
    result.product = removal_.productName();
    result.path = removal_.bundlePath();
    result.seconds = double(clock_.elapsed()) / 1000.0;
    result.logPath = QSLogger::logFilePath();
    if (!result_ || statusFor(result_->outcome) != exitStatus) {
        // Ended by a signal or a crash before the removal answered.
        const InstallOutcome ending = InstallOutcome::fromEndingStatus(exitStatus);
        result.outcome = ending.outcome;
        result.message = ending.sentence(result.product, result.path);
        return result;
    }
    result.outcome = wordFor(result_->outcome);
    switch (result_->outcome) {
    case QSRemoval::Outcome::Removed:
        result.message = QStringLiteral("%1 was removed: %2").arg(result.product, result_->report.removed.join(QStringLiteral(", ")));
        break;
    case QSRemoval::Outcome::NothingToRemove:
        result.message = QStringLiteral("%1 is not installed: nothing was removed").arg(result.product);
        break;
    case QSRemoval::Outcome::NotAuthorised:
        result.message = QStringLiteral("the authorisation to remove %1 was refused: nothing was removed").arg(result.product);
        break;
    default:
        result.message = QStringLiteral("%1 was not removed: %2").arg(result.product, result_->reason);
        break;
    }
    return result;
}

}  // namespace shell
