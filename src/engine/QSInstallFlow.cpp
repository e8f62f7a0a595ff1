#include "engine/QSInstallFlow.h"

#include "config/QSConfig.h"
#include "engine/QSFlowTexts.h"
#include "telemetry/QSNotificationNames.h"
#include "engine/QSPreinstallCheck.h"
#include "engine/QSPrivilegedPlacement.h"
#include "engine/QSInstallFiles.h"
#include "engine/QSTermination.h"
#include "platform/Host.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "platform/ThreadCrash.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QThread>

using namespace flowtext;

namespace {

float secondsSince(const QElapsedTimer &start)
{
    return start.isValid() ? float(double(start.nsecsElapsed()) / 1e9) : 0.0f;
}

QString installedApplicationPath()
{
    return QDir(QSConfigProvider::getApplicationsDirectory()).filePath(QSConfigProvider::getEnvSpecificBinaryName());
}

}  // namespace

QSInstallFlow::QSInstallFlow(QSScreens &screens, QObject *parent)
    : QObject(parent),
      screens_(screens),
      configLoader_([](QSConfigProvider::Completion completion) {
          QSConfigProvider::loadConfigWithCompletion(std::move(completion));
      }),
      terminate_([] { QCoreApplication::quit(); }),
      placementFactory_([](QObject *owner) {
          const bool needed = QSPrivilegedPlacement::isNeededFor(QSConfigProvider::getApplicationsDirectory());
          return needed ? new QSPrivilegedPlacement(owner) : nullptr;
      })
{
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        ++downloadAttempt_;  // raised just before the new attempt starts
        beginInstallation();
    });
    connect(&QSTermination::instance(), &QSTermination::began, this, &QSInstallFlow::stopForTermination);
}

QSInstallFlow::~QSInstallFlow()
{
    // Placement must not be cut off halfway: wait for the worker to end. An extraction is
    // abandoned anyway, so it stops at its next block.
    if (worker_) {
        if (workerJob_ == WorkerJob::Extraction)
            extractionCancelled_->store(true);
        worker_->wait();
    }
    dropDownloader();
}

void QSInstallFlow::startInstallation()
{
    if (stopped_ || screens_.isQuitConfirmationOpen())
        return;
    if (worker_ || (privileged_ && privileged_->isPlacing())) {
        // Extraction or placement is running; a new start would pull the files from under it.
        QSLogger::debug(QStringLiteral("Installation is being completed; start request ignored"), QS_FLOW_CONTEXT(kStart));
        return;
    }
    dropDownloader();
    retryTimer_.stop();
    signatureRefused_ = false;

    const QString version = QSPreinstallCheck::currentMirolanVersion();
    if (!version.isNull()) {
        QSLogger::showScreen(QStringLiteral("AlreadyInstalled"), QS_FLOW_CONTEXT(kStart));
        const QString where = QSConfigProvider::getApplicationsDirectory();
        if (version == QLatin1String("Unknown_version")) {
            QSLogger::error(QStringLiteral("%1 is already installed at %2. Aborting installation.").arg(kProductName, where),
                            QS_FLOW_CONTEXT(kStart));
        } else {
            QSLogger::error(QStringLiteral("%1 version %2 is already installed. Aborting installation.").arg(kProductName, version),
                            QS_FLOW_CONTEXT(kStart));
        }
        QString message = platform::localizedString("QSAlreadyInstalledMessage");
        message.replace(QStringLiteral("%@"), QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME")));
        showBlockingAlert(message, QStringLiteral("QSAlreadyInstalledTitle"), QStringLiteral("alreadyInstalled"));
        sendEvent(QStringLiteral("Config"), {{QStringLiteral("RSLT"), kFail},
                                             {QStringLiteral("RSN"), QStringLiteral("Application already installed")},
                                             {QStringLiteral("T"), 0}});
        return;
    }
    if (!QSPreinstallCheck::osVersionSupported()) {
        QSLogger::showScreen(QStringLiteral("OSNotCompatible"), QS_FLOW_CONTEXT(kStart));
        showBlockingAlert(platform::localizedString("QSOSNotCompatibleMessage"), QStringLiteral("QSOSNotCompatibleTitle"),
                          QStringLiteral("install_failed_block_img"));
        sendEvent(QStringLiteral("Config"), {{QStringLiteral("RSLT"), kFail},
                                             {QStringLiteral("RSN"), QStringLiteral("OS is not compatible")},
                                             {QStringLiteral("T"), 0}});
        return;
    }
    if (!QSPreinstallCheck::hasEnoughSpace()) {
        QSLogger::showScreen(QStringLiteral("NotEnoughSpace"), QS_FLOW_CONTEXT(kStart));
        showBlockingAlert(platform::localizedString("QSNoSpaceMessage"), QStringLiteral("QSNoSpaceTitle"),
                          QStringLiteral("no_space"));
        sendEvent(QStringLiteral("Config"), {{QStringLiteral("RSLT"), kFail},
                                             {QStringLiteral("RSN"), QStringLiteral("Not enough space")},
                                             {QStringLiteral("T"), 0}});
        return;
    }
    if (!QSPreinstallCheck::hasInternetConnection()) {
        showOfflineStep(kStart);
        return;
    }
    // A helper from an earlier attempt goes; each start asks for its own authorisation, once the
    // configuration is in: then a refusal reaches the maker like any other failure.
    delete privileged_;
    loadConfiguration();
}

void QSInstallFlow::loadConfiguration()
{
    QSLogger::showScreen(QStringLiteral("Connecting"), QS_FLOW_CONTEXT(kStart));
    configLoadStart_.start();
    const quint64 generation = ++configLoadGeneration_;
    QPointer<QSInstallFlow> self(this);
    const auto answered = std::make_shared<bool>(false);
    configLoader_([self, generation, answered](std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error) {
        *answered = true;
        // A later start supersedes this answer; a flow that is gone hears nothing.
        if (self && generation == self->configLoadGeneration_)
            self->configurationLoaded(std::move(config), std::move(error));
    });
    // The request goes out first and the screen changes while it travels. A loader that answers
    // at once has already shown what follows, which the connecting screen must not cover.
    if (!*answered)
        screens_.showState(QSScreenState::Connecting);
}

void QSInstallFlow::configurationLoaded(std::shared_ptr<const QSConfig> config, std::optional<QSNetworkError> error)
{
    const float seconds = secondsSince(configLoadStart_);
    const bool usable = config && config->isValid();
    if (!(usable && !error)) {
        if (!QSPreinstallCheck::hasInternetConnection()) {
            showOfflineStep(kStartBlock);
            return;
        }
        if (!usable) {
            showGenericError(QStringLiteral("Config error"));
            sendEvent(QStringLiteral("Config"), {{QStringLiteral("RSLT"), kFail},
                                                 {QStringLiteral("RSN"), QStringLiteral("Config error")},
                                                 {QStringLiteral("CData"), QStringLiteral("")},
                                                 {QStringLiteral("T"), QSAnalyticSender::singlePrecision(seconds)}});
            return;
        }
        // A configuration that came with an error but names the archive is used as it is.
    }
    QSLogger::debug(QStringLiteral("Load installer configuration success"), QS_FLOW_CONTEXT(kStartBlock));
    config_ = std::move(config);
    screens_.setupPageController(*config_);
    sendEvent(QStringLiteral("Config"), {{QStringLiteral("RSLT"), kPass},
                                         {QStringLiteral("T"), QSAnalyticSender::singlePrecision(seconds)}});
    downloadAttempt_ = 1;
    if (QSPrivilegedPlacement *placement = placementFactory_(this)) {
        askForPlacementRights(placement);  // the download begins once it is given
        return;
    }
    beginInstallation();
}

void QSInstallFlow::showBlockingAlert(const QString &message, const QString &titleKey, const QString &icon)
{
    QSInfoAlert alert;
    alert.message = QSScreenText::plain(message);
    alert.title = platform::localizedString(titleKey);
    alert.iconName = icon;
    alert.retry = false;
    alert.close = true;
    alert.contactSupport = true;
    alert.subTitle = QSScreenText::visitOnlineSite();
    alert.isURL = false;
    alert.exitOnClose = true;
    screens_.showInfoAlert(alert);
}

void QSInstallFlow::showOfflineStep(const QString &function)
{
    QSLogger::showScreen(QStringLiteral("NoInternet"), QS_FLOW_CONTEXT(function));
    screens_.makeMainViewVisible();
    QSInfoAlert alert;
    alert.message = QSScreenText::plain(platform::localizedString("MessagePleaseTryLater"));
    alert.title = platform::localizedString("MessageNoInternetConnection");
    alert.iconName = QStringLiteral("no_internet");
    alert.retry = true;
    alert.close = false;
    alert.contactSupport = false;
    alert.subTitle = QSScreenText::empty();
    alert.isURL = false;
    alert.exitOnClose = false;
    screens_.showInfoAlert(alert);
}

void QSInstallFlow::showGenericError(const QString &givenReason)
{
    QSLogger::debug(QStringLiteral("Show generic error screen."), QS_FLOW_CONTEXT(kGenericError));
    const QString reason = givenReason.isNull() ? QStringLiteral("NA") : givenReason;
    QJsonObject data = productFields(kFail);
    data.insert(QStringLiteral("RSN"), reason);
    sendEvent(QStringLiteral("Install"), data);
    screens_.showGenericError(reason);
}

QJsonObject QSInstallFlow::productFields(const QString &result) const
{
    const auto orNA = [](const QString &text) { return text.isNull() ? QStringLiteral("NA") : text; };
    return {
        {QStringLiteral("DProd"), kProductName},
        {QStringLiteral("URL"), orNA(config_ ? config_->latestMacURL : QString())},
        {QStringLiteral("RSLT"), result},
        {QStringLiteral("DProdVer"), orNA(config_ ? config_->lastBuildNumberMac : QString())},
    };
}

void QSInstallFlow::sendEvent(const QString &eventName, const QJsonObject &data)
{
    QSAnalyticSender::sendEvent(eventName, data);
}

void QSInstallFlow::stopForTermination()
{
    if (stopped_)
        return;
    stopped_ = true;
    ++configLoadGeneration_;  // a configuration answer still on its way is dropped
    retryTimer_.stop();
    if (downloader_) {
        dropDownloader();
        QSLogger::debug(QStringLiteral("Download stopped: the installer is ending"), QS_FLOW_CONTEXT(kCompleted));
    }
    if (worker_) {
        if (workerJob_ == WorkerJob::Extraction) {
            extractionCancelled_->store(true);
            worker_->wait();
            worker_ = nullptr;
            workerJob_ = WorkerJob::None;
            workerDone_ = nullptr;  // placement never starts now
            QSLogger::debug(QStringLiteral("Extraction stopped: the installer is ending"), QS_FLOW_CONTEXT(kUnzip));
        } else {
            // A placement is one swap into place plus the version file: it ends whole, and its
            // records and events come now, before the end is recorded.
            worker_->wait();
            runWorkerDone();
        }
    }
    if (privileged_) {
        if (privileged_->isCommitted()) {
            // The helper has the whole archive and swaps it in one step: it ends whole, and its
            // records and events come now, before the end is recorded.
            privileged_->waitForCommittedPlacement();
        } else {
            // Not yet asked to place (or still receiving): it goes away and changes nothing.
            QSPrivilegedPlacement *placement = privileged_;
            privileged_ = nullptr;
            delete placement;
            QSLogger::debug(QStringLiteral("Placement helper released: the installer is ending"), QS_FLOW_CONTEXT(kCompleted));
        }
    }
    removeTemporaryFiles();
    discardPartialDownload();
    QSInstallFiles::waitForBackgroundRemovals();  // the finished archive's blocks, set aside at placement
}

void QSInstallFlow::quitInstallation(const QVariant &object)
{
    stopForTermination();
    QSLogger::debug(QStringLiteral("%1 end.").arg(kProductName), QS_FLOW_CONTEXT(kQuit));
    if (object.isValid() && object.toMap().contains(QSNotificationNames::kIsUserAction)) {
        QSLogger::debug(QStringLiteral("User closed installer"), QS_FLOW_CONTEXT(kQuit));
        QSLogger::deleteLogFile();  // a log that cannot be removed must not hold up the end
    }
    if (terminate_)
        terminate_();
}

void QSInstallFlow::launchAppWithPath()
{
    screens_.hideCloseButton();
    const QString path = installedApplicationPath();
    if (!QFileInfo(path).isDir()) {
        QSLogger::error(QStringLiteral("\"Application path does not exist:%1\"").arg(path), QS_FLOW_CONTEXT(kLaunch));
        sendEvent(QStringLiteral("LaunchApp"), productFields(kFail));
    } else {
        QStringList arguments{QSSystemInfo::configLocale(QSSystemInfo::getLocale())};
        if (launchedFromDrive_)
            arguments << QStringLiteral("launched-from-drive");
        QString reason;
        const bool launched = platform::host().launchApplication(path, arguments, &reason);
        QJsonObject data = productFields(launched ? kPass : kFail);
        data.insert(QStringLiteral("Arg"), QJsonArray::fromStringList(arguments));
        if (launched) {
            QSLogger::debug(QStringLiteral("Successfully launched app."), QS_FLOW_CONTEXT(kLaunch));
        } else {
            QSLogger::error(QStringLiteral("Error Launching app."), QS_FLOW_CONTEXT(kLaunch));
            if (!reason.isEmpty())
                QSLogger::error(QStringLiteral("Launch refused: %1").arg(reason), QS_FLOW_CONTEXT(kLaunch));
        }
        sendEvent(QStringLiteral("LaunchApp"), data);
    }
    platform::NotificationCenter::defaultCenter().post(QSNotificationNames::kQuitInstallation);
}

void QSInstallFlow::updateProgressWithValue(double value, double adjusted)
{
    const QString label = platform::localizedString("QSInstalling");
    progressPercents_ = value * 100.0;
    screens_.updateProgress(float(adjusted * 100.0), label);
}

void QSInstallFlow::runOffMainThread(WorkerJob job, std::function<void()> work, std::function<void()> done)
{
    // A job that throws hands the exception to the crash handling, which ends the run, and the
    // thread ends as any other: the end of the run never waits for a thread stuck in a crash path.
    // Its done() is dropped then: a half-done job shows no screen of its own before the end.
    const QString name = job == WorkerJob::Extraction ? QStringLiteral("Extraction") : QStringLiteral("Placement");
    auto crashed = std::make_shared<std::atomic<bool>>(false);
    QThread *thread = QThread::create([name, crashed, work = std::move(work)] {
        if (!platform::ThreadCrash::run(name, work))
            crashed->store(true);
    });
    thread->setParent(this);
    worker_ = thread;
    workerJob_ = job;
    workerDone_ = std::move(done);
    connect(thread, &QThread::finished, this, [this, thread, crashed] {
        if (worker_ == thread) {
            if (crashed->load())
                workerDone_ = nullptr;
            runWorkerDone();
        }
        thread->deleteLater();
    });
    thread->start();
}

void QSInstallFlow::runWorkerDone()
{
    // Once only: either when the thread has finished, or earlier when termination waited for it.
    worker_ = nullptr;
    workerJob_ = WorkerJob::None;
    auto done = std::move(workerDone_);
    workerDone_ = nullptr;
    if (done)
        done();
}
