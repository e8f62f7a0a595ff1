#include "shell/UnattendedRun.h"

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFlow.h"
#include "engine/QSPreinstallCheck.h"
#include "shell/RunReporter.h"
#include "telemetry/QSLogger.h"
#include "ui/QSMainController.h"

#include <QDir>
#include <QTimer>

namespace shell {
UnattendedRun::UnattendedRun(RunReporter &reporter, std::function<void(int)> terminate, QObject *parent)
    : QObject(parent), reporter_(reporter), terminate_(std::move(terminate))
{
    clock_.start();
    screens_ = std::make_unique<TerminalScreens>(
        reporter_, [this] { return flow_ && flow_->signatureRefused(); },
        [this](const InstallOutcome &outcome) { ended(outcome); });
    flow_ = std::make_unique<QSInstallFlow>(*screens_);
    flow_->setTerminate([this] { terminate_(outcome_ ? outcome_->status : kExitPlacementFailed); });
    connect(flow_.get(), &QSInstallFlow::downloadProgress, this,
            [this](qint64 received, qint64 expected) { reporter_.progress(received, expected); });
    connect(flow_.get(), &QSInstallFlow::archiveAccepted, this, [this] { reporter_.phase(QStringLiteral("Installing")); });
}

UnattendedRun::~UnattendedRun() = default;

void UnattendedRun::start(const QStringList &arguments)
{
    // The window's own start records: a reader of the run log cannot tell the two runs apart there.
    QSMainController::writeStartRecords(*flow_, arguments);
    QSLogger::debug(QStringLiteral("Unattended run: Install taken as pressed; the licence agreement and the privacy "
                                   "statement were accepted on the command line"),
                    QS_LOG_CONTEXT("-[UnattendedRun start]"));
    flow_->startInstallation();
}

void UnattendedRun::ended(const InstallOutcome &outcome)
{
    outcome_ = outcome;
    if (outcome.status == kExitNothingChanged)
        foundVersion_ = QSPreinstallCheck::currentMirolanVersion();
    // The flow still records and sends what belongs to this screen once the call returns; the
    // end follows as the error screen's Close or the window's close would give it.
    QTimer::singleShot(0, this, [this] { flow_->quitInstallation(QVariant()); });
}

RunResult UnattendedRun::result(int exitStatus) const
{
    const InstallOutcome outcome = outcome_ && outcome_->status == exitStatus ? *outcome_ : InstallOutcome::fromEndingStatus(exitStatus);
    const QString applications = QSConfigProvider::getApplicationsDirectory();
    RunResult result;
    result.status = exitStatus;
    result.outcome = outcome.outcome;
    result.product = flowtext::kProductName;
    result.version = !foundVersion_.isEmpty() ? foundVersion_
                     : flow_->config()      ? flow_->config()->lastBuildNumberMac
                                            : QString();
    result.message = outcome.sentence(result.version.isEmpty() ? result.product : result.product + QLatin1Char(' ') + result.version,
                                      applications);
    result.path = QDir(applications).filePath(QSConfigProvider::getEnvSpecificBinaryName());
    result.seconds = double(clock_.elapsed()) / 1000.0;
    result.logPath = QSLogger::logFilePath();
    return result;
}

}  // namespace shell
