#include "shell/AppDelegate.h"

#include "shell/AppCache.h"
#include "shell/CommandUrls.h"
#include "shell/ExitStatus.h"
#include "shell/CrashHandling.h"
#include "shell/MainWindow.h"
#include "shell/ShellNames.h"
#include "shell/SignalWatcher.h"
#include "shell/SingleInstance.h"

#include "config/QSConfigProvider.h"
#include "engine/QSPreinstallCheck.h"
#include "engine/QSTermination.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Host.h"
#include "platform/ThreadCrash.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSAnalyticsLogger.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSSystemInfo.h"
#include "telemetry/QSTrustedAuthorities.h"

#include <QApplication>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <thread>
#include <unistd.h>

namespace shell {
namespace {

// How long a thread that hit std::terminate waits for the main thread to finish the orderly
// exit (two bounded requests) before the process ends regardless.
constexpr auto kCrashTerminationWait = std::chrono::seconds(90);

}  // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
}

AppDelegate::~AppDelegate()
{
    platform::ThreadCrash::setHandler({});
    removeCrashHandlers();
    analytics_.stopObserving();
    window_.reset();
}

void AppDelegate::setContentFactory(ContentFactory factory)
{
    contentFactory_ = std::move(factory);
}

void AppDelegate::setUnattended(std::function<void()> start)
{
    unattendedStart_ = std::move(start);
}

QWidget *AppDelegate::mainController() const
{
    return window_ ? window_->content() : nullptr;
}

QString AppDelegate::commandUrlArgument(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).contains(QLatin1String("://")))
            return arguments.at(i);
    }
    return QString();
}

bool AppDelegate::applicationWillFinishLaunching(const QStringList &arguments)
{
    launchCommandUrl_ = commandUrlArgument(arguments);
    singleInstance_ = new SingleInstance(SingleInstance::defaultSocketPath(), this);
    if (singleInstance_->claim(launchCommandUrl_) == SingleInstance::Role::HandedOver)
        return false;
    connect(singleInstance_, &SingleInstance::activateRequested, this, &AppDelegate::activate);
    connect(singleInstance_, &SingleInstance::commandUrlReceived, this, &AppDelegate::receiveCommandUrl);
    return true;
}

AppDelegate::Launch AppDelegate::applicationDidFinishLaunching()
{
    installCrashHandling();
    const QSLogContext context = QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]");

    if (!QSPrivileges::hasAdminPrivileges()) {
        if (unattendedStart_) {
            platform::console(QStringLiteral("tiny-installer: %1").arg(adminAlertTexts().message));
            exitStatus_ = kExitNotAuthorised;
        } else {
            showAdminAlert(adminAlertTexts());
        }
        QSLogger::debug(kNonAdminExiting, context);
        return Launch::Exit;
    }

    // Termination signals end the run in order from here on; before this point (the
    // administrator alert) they end the process the ordinary way, which logs nothing. A script
    // that started a run without a window hears that it was interrupted, and by what.
    signalWatcher_ = new SignalWatcher(this);
    connect(signalWatcher_, &SignalWatcher::received, this, [this](int signalNumber) {
        requestTermination(unattendedStart_ ? kExitInterruptedBase + signalNumber : 0);
    });

    const QString caches = platform::host().cachesDirectory();
    for (const QString &identifier : {platform::Bundle::bundleIdentifier(), kSoftwareInstallerCacheId})
        removeAppCache(appCachePath(caches, identifier), identifier, context);

    QSLogger::debug(kStartedFromAdmin, context);

    analytics_.startObserving();

    if (!unattendedStart_)
        showWindow();
    // Command URLs (our own argument, and any handed over meanwhile) wait for the loop to run.
    QTimer::singleShot(0, this, &AppDelegate::finishStartUp);
    return Launch::Running;
}

void AppDelegate::showWindow()
{
    window_ = std::make_unique<MainWindow>();
    window_->setWindowTitle(QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME")));
    window_->centreOnScreen();
    window_->setContent(contentFactory_ ? contentFactory_() : nullptr);
    connect(window_.get(), &MainWindow::closeRequested, this, [this] { requestTermination(0); });
    window_->bringToFront();
}

void AppDelegate::finishStartUp()
{
    startUpDone_ = true;
    // Before any request; the requests wait for it, the window does not.
    QSTrustedAuthorities::addFromEnvironment(QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]"));
    // The window is up: the first request's set-up happens now, not after Install is pressed.
    QSHttp::prepare(QUrl(QSConfigProvider::getConfigUrl()));
    if (unattendedStart_) {
        if (!launchCommandUrl_.isNull() || !pendingCommandUrls_.isEmpty())
            platform::console(QStringLiteral("Command URLs are answered by the window only; not by a run without one"));
        pendingCommandUrls_.clear();
        unattendedStart_();
        return;
    }
    QStringList urls = pendingCommandUrls_;
    pendingCommandUrls_.clear();
    if (!launchCommandUrl_.isNull())
        urls.prepend(launchCommandUrl_);
    for (const QString &url : urls)
        handleCommandUrl(url);
}

void AppDelegate::activate()
{
    if (window_ && !terminationStarted_)
        window_->bringToFront();
}

void AppDelegate::receiveCommandUrl(const QString &url)
{
    if (unattendedStart_)
        return;  // what a command URL asks for needs a window
    if (!startUpDone_) {
        pendingCommandUrls_.append(url);
        return;
    }
    activate();
    handleCommandUrl(url);
}

void AppDelegate::handleCommandUrl(const QString &text)
{
    dispatchCommandUrl(text);
}

int AppDelegate::runUntilTerminated()
{
    int loopStatus = 0;
    if (!terminationRequested_) {
        inMainLoop_ = true;
        loopStatus = QCoreApplication::exec();
        inMainLoop_ = false;
    }
    applicationWillTerminate();
    const int status = exitStatus_.load();
    return status != 0 ? status : loopStatus;
}

void AppDelegate::requestTermination(int exitStatus)
{
    terminationRequested_ = true;
    if (exitStatus != 0)
        exitStatus_ = exitStatus;
    // exit() outside the main loop would make every later local loop (the two requests at the
    // end) return at once; there the flag above is enough.
    if (inMainLoop_)
        QCoreApplication::exit(exitStatus);
}

void AppDelegate::applicationWillTerminate()
{
    if (terminationStarted_)
        return;
    terminationStarted_ = true;

    // Nobody should look at a window that cannot answer while the requests run. Modal dialogs
    // stay: hiding one would return from its exec() into code that is not expecting it now.
    // (A run without a window has no widgets to ask about.)
    const QWidgetList windows = qobject_cast<QApplication *>(QCoreApplication::instance()) ? QApplication::topLevelWidgets() : QWidgetList();
    for (QWidget *widget : windows) {
        if (widget->isVisible() && !widget->isModal())
            widget->hide();
    }
    // The installation stops before anything of the end is recorded: no download, extraction
    // or placement goes on behind the hidden window, and none of its records follow "End".
    QSTermination::instance().announce();
    // The two requests trust the authorities the environment names, also when the end comes
    // before the start-up was done; their records come now, not after "End".
    QSTrustedAuthorities::addFromEnvironment(QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]"));
    QSTrustedAuthorities::waitUntilReady();

    // As in the "Start" event: "NA" where the processor has no name.
    const QString cpuName = QSSystemInfo::getCPUName();
    const QString processorName = cpuName.isEmpty() ? QStringLiteral("NA") : cpuName;
    const QString endEvent = QSAnalyticSender::getMessage(
        QStringLiteral("End"), QJsonObject{{QStringLiteral("SR"), QSSystemInfo::getScreenResolution()},
                                           {QStringLiteral("Proc"), processorName},
                                           {QStringLiteral("ProcType"), QSSystemInfo::getCPUType()}});
    const QSLogContext context = QS_LOG_CONTEXT("-[AppDelegate applicationWillTerminate:]");
    if (sendsEndEvent_) {
        QSLogger::logEvent(endEvent, context);
        analytics_.append(endEvent);
    }

    const QString analyticsUrl = analytics_.analyticsUrl();
    if (!analyticsUrl.isNull())
        QSAnalyticSender::sendAll(analytics_.queue(), QUrl(analyticsUrl));

    QSLogger::debug(kInstallerEnd, context);

    const QString uploadUrl = analytics_.logUploadUrl();
    if (uploadUrl.isNull()) {
        QSLogger::debug(kLogUploadUrlNotAvailable, context);
        return;
    }
    QSAnalyticsLogger::uploadTinyLogToS3(uploadUrl, [](const QSAnalyticsLogger::Response &response) {
        if (response.data.isNull())
            platform::console(response.error ? response.error->description : QStringLiteral("(null)"));
        if (response.statusCode == 200)
            deleteLogFile();
    });
}

void AppDelegate::deleteLogFile()
{
    // A file that cannot be removed stays for the next run, which appends to it.
    QSLogger::deleteLogFile();
}

void AppDelegate::installCrashHandling()
{
    installCrashHandlers({
        [this](const CrashReport &report) { exceptionHandler(report); },
        [this](const CrashReport &report) { crashTerminate(report); },
    });
    // The installer's own threads hand what they throw over and end; the run then ends as after
    // any other crash.
    platform::ThreadCrash::setHandler([this](std::exception_ptr, const QString &threadName) {
        exceptionHandler(CrashReport::fromCurrentException({{QStringLiteral("thread"), threadName}}));
    });
}

void AppDelegate::writeCrashRecords(const CrashReport &report)
{
    writeCrashConsoleLines(report);
    const QSLogContext context = QS_LOG_CONTEXT("-[AppDelegate exceptionHandler]");
    QSLogger::error(QStringLiteral("Application crashed with [reason: %1 and userInfo: %2]").arg(report.reason, report.userInfo),
                    context);
}

void AppDelegate::exceptionHandler(const CrashReport &report)
{
    writeCrashRecords(report);
    exitStatus_ = kExitCrash;
    // The orderly end belongs to the main thread. A worker (or the download's thread, whose
    // events ShellApplication::notify guards too) asks for it and goes on to its own end, so the
    // main thread, which waits for extraction and placement as the run ends, never waits for it.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { requestTermination(kExitCrash); }, Qt::QueuedConnection);
        return;
    }
    requestTermination(kExitCrash);
}

void AppDelegate::crashTerminate(const CrashReport &report)
{
    writeCrashRecords(report);
    exitStatus_ = kExitCrash;
    if (QThread::currentThread() == thread()) {
        applicationWillTerminate();
        ::_exit(kExitCrash);
    }
    // Another thread: the orderly exit belongs to the main thread. If that thread is already
    // ending the run, it will finish and end the process itself.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (terminationStarted_)
                return;
            applicationWillTerminate();
            ::_exit(kExitCrash);
        },
        Qt::QueuedConnection);
    std::this_thread::sleep_for(kCrashTerminationWait);
    ::_exit(kExitCrash);
}

}  // namespace shell
