#include "shell/UnattendedRun.h"

#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "engine/QSFlowTexts.h"
#include "engine/QSInstallFlow.h"
#include "engine/QSPreinstallCheck.h"
#include "shell/RunReporter.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"
#include "ui/QSLaunchArguments.h"

#include <QDir>
#include <QJsonObject>
#include <QTimer>

namespace shell {
namespace {

// The window's start records come from its controller; readers group them by these names.
const QString kAwakeFromNib = QStringLiteral("-[QSMainController awakeFromNib]");
QSLogContext startContext(int line)
{
    return QSLogContext::make("QSMainController.cpp", kAwakeFromNib, line);
}

}  // namespace

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
    const QSLaunchArguments launch = QSLaunchArguments::scan(arguments);
    flow_->setLaunchedFromDrive(launch.launchedFromDrive);
    QSLogger::debug(QStringLiteral("_isLaunchedfromDrive:%1").arg(launch.launchedFromDrive ? QStringLiteral("true") : QStringLiteral("false")),
                    startContext(__LINE__));
    QSLogger::showScreen(QStringLiteral("Welcome"), startContext(__LINE__));
    const QString cpuName = QSSystemInfo::getCPUName();
    flow_->sendEvent(QStringLiteral("Start"), QJsonObject{
                                                  {QStringLiteral("SR"), QSSystemInfo::getScreenResolution()},
                                                  {QStringLiteral("Proc"), cpuName.isEmpty() ? QStringLiteral("NA") : cpuName},
                                                  {QStringLiteral("ProcType"), QSSystemInfo::getCPUType()},
                                                  {QStringLiteral("TRG"), launch.target},
                                                  {QStringLiteral("CData"), launch.data},
                                              });
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
