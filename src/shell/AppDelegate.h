#pragma once
// The application delegate: the installer's first and last word. It keeps one instance per user,
// stops users without administrator rights, clears the two cache folders, keeps the analytics
// queue and endpoints, answers command URLs, shows the window around the main controller, turns
// crashes and every way out into one orderly termination (the "End" event, the analytics batch,
// the run-log upload).

#include "shell/AdminAlert.h"
#include "shell/AnalyticsHandoff.h"
#include "shell/CrashReport.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QWidget;

namespace shell {

class MainWindow;
class SignalWatcher;
class SingleInstance;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Makes the main controller's view, shown inside the window (owned by the window).
    using ContentFactory = std::function<QWidget *()>;
    enum class Launch { Running, Exit };

    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // Set before applicationDidFinishLaunching. Without a factory (or when it makes nothing) the
    // window shows its empty rounded panel.
    void setContentFactory(ContentFactory factory);
    // Whether the termination sequence records and sends the "End" event (by default it does).
    void setSendsEndEvent(bool sends) { sendsEndEvent_ = sends; }
    // A run without a window (set before applicationDidFinishLaunching): start is called once
    // start-up is done instead of showing the window; the administrator gate speaks on standard
    // error and ends with kExitNotAuthorised; a termination signal ends the run with 128 + its
    // number. Command URLs are not answered: they ask things of a window.
    void setUnattended(std::function<void()> start);

    // The single-instance rule. False when another instance runs and has been handed this
    // process's command URL (or asked to come forward): end now with status 0, nothing logged.
    bool applicationWillFinishLaunching(const QStringList &arguments);
    // The start-up sequence. Exit: the user is no administrator; end now with status 0.
    Launch applicationDidFinishLaunching();
    // Runs the application loop until a way out is taken, then the termination sequence;
    // returns the process's exit status.
    int runUntilTerminated();
    // The termination sequence; runs once, later calls return at once.
    void applicationWillTerminate();
    // Ends the application loop (or keeps it from starting); the termination sequence follows.
    void requestTermination(int exitStatus = 0);

    // A command URL (process argument or handed over by another instance).
    void handleCommandUrl(const QString &text);
    // An exception caught while an event was handled: crash records, then orderly termination.
    void exceptionHandler(const CrashReport &report);
    static void deleteLogFile();

    // The first process argument that looks like a URL ("scheme://..."); null when none.
    static QString commandUrlArgument(const QStringList &arguments);

    MainWindow *window() const { return window_.get(); }
    QWidget *mainController() const;
    AnalyticsHandoff &analytics() { return analytics_; }
    bool terminationRequested() const { return terminationRequested_; }
    bool hasTerminated() const { return terminationStarted_; }
    // The status the run asked to end with (0 unless a way out set one).
    int exitStatus() const { return exitStatus_.load(); }

private:
    void installCrashHandling();
    void crashTerminate(const CrashReport &report);
    void writeCrashRecords(const CrashReport &report);
    void showWindow();
    void finishStartUp();
    void activate();
    void receiveCommandUrl(const QString &url);

    ContentFactory contentFactory_;
    std::function<void()> unattendedStart_;
    AnalyticsHandoff analytics_;
    std::unique_ptr<MainWindow> window_;
    SingleInstance *singleInstance_ = nullptr;
    SignalWatcher *signalWatcher_ = nullptr;

    QString launchCommandUrl_;
    QStringList pendingCommandUrls_;  // arrived before start-up was done
    bool sendsEndEvent_ = true;
    bool startUpDone_ = false;
    bool inMainLoop_ = false;
    bool terminationRequested_ = false;
    bool terminationStarted_ = false;
    std::atomic<int> exitStatus_{0};  // also set by a thread that hit std::terminate
};

}  // namespace shell
