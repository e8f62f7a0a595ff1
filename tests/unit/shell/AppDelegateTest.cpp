// In process with the fake host: the administrator gate, every way out (the termination signals
// included), a crash in an event handler, the run log's upload at the end, the caches, exact
// command URLs. (A crash on a worker thread: e2e.crash_extraction.)

#include "TestEnv.h"
#include "TestHttpServer.h"

#include "platform/Bundle.h"
#include "platform/LinuxHost.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "shell/AppCache.h"
#include "shell/AppDelegate.h"
#include "shell/CommandLine.h"
#include "shell/CommandUrls.h"
#include "shell/InstallOutcome.h"
#include "shell/MainWindow.h"
#include "shell/ScreenFit.h"
#include "shell/ShellNames.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSNotificationNames.h"
#include "ui/QSWholeWindowRepaint.h"

#include "engine/QSScreens.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QtGui/private/qhighdpiscaling_p.h>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString kEnd = u"\"EVT\":\"End\""_s;

// Each needle occurs in a later run-log line than the one before.
::testing::AssertionResult inOrder(const QStringList &lines, const QStringList &needles)
{
    qsizetype at = 0;
    for (const QString &needle : needles) {
        while (at < lines.size() && !lines.at(at).contains(needle))
            ++at;
        if (at++ >= lines.size())
            return ::testing::AssertionFailure() << "missing or out of order: " << needle.toStdString() << "\nlines:\n"
                                                 << lines.join(u'\n').toStdString();
    }
    return ::testing::AssertionSuccess();
}

void post(const QString &name, const QVariant &object = QVariant()) { platform::NotificationCenter::defaultCenter().post(name, object); }

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { env.host.superUser = true; }
    ~AppDelegateTest() override { QSHttp::overrideTimeoutsForTesting(std::nullopt); }
    void launch() { ASSERT_EQ(delegate.applicationDidFinishLaunching(), shell::AppDelegate::Launch::Running); }

    TestEnv env;
    TestHttpServer server;
    shell::AppDelegate delegate;  // last: it goes before the world it lives in
};

}  // namespace

TEST_F(AppDelegateTest, ANonAdministratorGetsOneAlertAndLeavesWithoutTheEndSequence)
{
    env.host.superUser = false;
    env.host.groups.insert(u"sudo"_s, {u"someone-else"_s});
    int alerts = 0;
    QTimer::singleShot(0, [&alerts] {  // runs inside the alert's own loop; answers as the user would
        auto *alert = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(alert, nullptr);
        ++alerts;
        EXPECT_EQ(alert->text(), platform::localizedString("ContactAdminTitle"));
        alert->buttons().value(0)->click();
    });
    EXPECT_EQ(delegate.applicationDidFinishLaunching(), shell::AppDelegate::Launch::Exit);
    EXPECT_EQ(alerts, 1);
    EXPECT_TRUE(env.logLines().size() == 1 && inOrder(env.logLines(), {shell::kNonAdminExiting})) << env.logLines().join(u'\n').toStdString();
}

class EveryWayOut : public AppDelegateTest, public ::testing::WithParamInterface<std::string> {};

// Every way out ends the run once and in order, after the start removed the installer's own cache
// and reported the shared one it could not find.
TEST_P(EveryWayOut, RunsTheTerminationSequenceExactlyOnce)
{
    const QString caches = env.host.cachesDirectory();
    const QString ownCache = shell::appCachePath(caches, platform::Bundle::bundleIdentifier());
    const QString sharedCache = shell::appCachePath(caches, shell::kSoftwareInstallerCacheId);
    ASSERT_TRUE(QDir().mkpath(ownCache + u"/nested"_s));
    launch();
    QTimer::singleShot(10, &delegate, [this, way = GetParam()] {
        if (way == "window_closed")
            delegate.window()->close();
        else if (way.starts_with("SIG"))
            ::raise(way == "SIGTERM" ? SIGTERM : way == "SIGINT" ? SIGINT : SIGHUP);
        for (int quits = way == "quit" ? 1 : way == "quit_twice" ? 2 : 0; quits > 0; --quits)
            QCoreApplication::quit();
    });
    EXPECT_EQ(delegate.runUntilTerminated(), 0);

    const QStringList all = env.logLines();
    const auto masked = [this](QString path) { return path.replace(env.host.login, u"****"_s); };  // as the run log has it
    EXPECT_TRUE(inOrder(all, {u"Successfully removed app cache from %1 ."_s.arg(masked(ownCache)),
                              u"Failed to remove app cache from %1 ."_s.arg(masked(sharedCache)), shell::kStartedFromAdmin}));
    EXPECT_EQ(all.filter(u"\"trace\": \"EVT\""_s).size(), 1);
    EXPECT_TRUE(inOrder(all.mid(all.size() - 3), {kEnd, shell::kInstallerEnd, shell::kLogUploadUrlNotAvailable}));
    EXPECT_FALSE(delegate.window()->isVisible());
    EXPECT_FALSE(QFileInfo::exists(ownCache));
}

INSTANTIATE_TEST_SUITE_P(Shell, EveryWayOut, ::testing::Values("quit", "quit_twice", "window_closed", "SIGTERM", "SIGINT", "SIGHUP"),
                         [](const ::testing::TestParamInfo<std::string> &row) { return row.param; });

// An exception from an event handler (as from a faulty button action) is recorded with its type and
// the object, then the run ends in order: the batch with every queued event, "End" last, and the
// uploaded log with the crash before the end.
TEST_F(AppDelegateTest, AnExceptionFromAnEventHandlerWritesTheCrashThenEndsInOrderAndUploads)
{
    struct Thrower : QObject {
        bool event(QEvent *event) override
        {
            if (event->type() == QEvent::User)
                throw std::runtime_error("boom in a handler");
            return QObject::event(event);
        }
    } thrower;
    thrower.setObjectName(u"installButton"_s);
    server.answerOtherPaths({});
    launch();
    std::thread([] { post(QSNotificationNames::kLogAnalytics, u"first event"_s); }).join();
    EXPECT_TRUE(delegate.analytics().queue().isEmpty());  // taken on the main thread, not the worker's
    post(QSNotificationNames::kChangeAnalyticsUrl, server.url(u"/events"_s).toString());
    post(QSNotificationNames::kChangeLogUploadUrl, server.url(u"/logs/"_s).toString());
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));

    EXPECT_EQ(delegate.runUntilTerminated(), shell::kExitCrash);
    EXPECT_TRUE(env.consoleLines.contains(u"CRASH REASON: boom in a handler"_s));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_TRUE(inOrder(QString::fromUtf8(server.requests().at(0).body).split(u"\r\n"_s), {u"first event"_s, kEnd}));
    const QStringList uploaded = QString::fromUtf8(server.requests().at(1).body).split(u"\r\n"_s);
    EXPECT_TRUE(inOrder(uploaded, {u"\"trace\": \"ERROR\", \"message\":\" Application crashed with [reason: boom in a handler"_s, kEnd, shell::kInstallerEnd}));
    const QString crash = uploaded.filter(u"Application crashed"_s).value(0);
    EXPECT_TRUE(crash.contains(u"std::runtime_error"_s) && crash.contains(u"installButton"_s)) << crash.toStdString();
}

// The end of the run by how the servers answer (0: never): only a 200 for the upload lets the run
// log go, and a server that never answers holds the end only for the request deadlines.
class EndAnswers : public AppDelegateTest, public ::testing::WithParamInterface<int> {};

TEST_P(EndAnswers, OnlyA200DeletesTheRunLogAndAStallHoldsTheEndOnlyForItsDeadlines)
{
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{300ms, 600ms});
    server.answerOtherPaths(GetParam() ? TestHttpServer::Answer{GetParam()} : TestHttpServer::Answer{200, {}, {}, TestHttpServer::Fault::Stall});
    launch();
    post(QSNotificationNames::kChangeAnalyticsUrl, server.url(u"/events"_s).toString());
    post(QSNotificationNames::kChangeLogUploadUrl, server.url(u"/logs/"_s).toString());
    QElapsedTimer clock;
    clock.start();
    delegate.applicationWillTerminate();
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(QFile::exists(env.logFilePath()), GetParam() != 200);
    EXPECT_TRUE(GetParam() == 200 || env.logLines().value(env.logLines().size() - 1).contains(shell::kInstallerEnd));
    EXPECT_EQ(env.logLines().filter(u"\"trace\": \"ERROR\", \"message\":\" Analytics send error "_s).size(), GetParam() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Shell, EndAnswers, ::testing::Values(200, 201, 204, 0));

// Whether a near miss opened a window is not visible from outside the process; here it is.
TEST(CommandUrls, EachExactAddressPostsItsOwnNotificationAndNearMissesNone)
{
    TestEnv env;
    QList<platform::Notification> posted;
    auto &center = platform::NotificationCenter::defaultCenter();
    QList<platform::NotificationCenter::Token> tokens;
    for (const QString &name : {QSNotificationNames::kShowCrashInfoDialog, QSNotificationNames::kOpenPrivacyPolicyLink, QSNotificationNames::kOpenEula})
        tokens << center.addObserver(name, [&posted](const platform::Notification &n) { posted << n; });
    const auto overlay = [](bool with) { return QVariant(QVariantMap{{QSNotificationNames::kWithOverlay, with}}); };
    const std::tuple<QString, QString, QVariant> rows[] = {  // address, notification posted, its object
        {u"qsd://crashInfo"_s, QSNotificationNames::kShowCrashInfoDialog, overlay(true)},
        {u"qsd://innerCrashInfo"_s, QSNotificationNames::kShowCrashInfoDialog, overlay(false)},
        {u"qsd://privacyPolicy"_s, QSNotificationNames::kOpenPrivacyPolicyLink, {}},
        {u"qsd://licenseAgreement"_s, QSNotificationNames::kOpenEula, {}},
        {u"qsd://licenseAgreement/"_s, {}, {}}, {u"QSD://licenseAgreement"_s, {}, {}}, {u" qsd://crashInfo"_s, {}, {}},
    };
    for (const auto &[url, name, object] : rows) {
        posted.clear();
        EXPECT_EQ(shell::dispatchCommandUrl(url), !name.isNull()) << url.toStdString();
        ASSERT_EQ(posted.size(), name.isNull() ? 0 : 1) << url.toStdString();
        if (!posted.isEmpty()) {
            EXPECT_TRUE(posted.first().name == name && posted.first().object == object) << url.toStdString();
        }
    }
    std::for_each(tokens.begin(), tokens.end(), [&center](auto token) { center.removeObserver(token); });
}

// Removing a cache folder never reaches beyond it: not through a link (as the folder or inside it),
// and not with an identifier that is not one folder name.
TEST(AppCache, RemovalStaysInsideTheOneCacheFolder)
{
    TestEnv env;
    const QString caches = env.host.cachesDirectory(), outside = env.path(u"precious"_s);
    ASSERT_TRUE(QDir().mkpath(outside) && QDir().mkpath(caches + u"/real"_s) && QFile(outside + u"/keep"_s).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(outside, caches + u"/linked"_s) && QFile::link(outside, caches + u"/real/escape"_s));
    const QSLogContext context = QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]");
    for (const QString &id : {u"linked"_s, u"real"_s})
        EXPECT_TRUE(shell::removeAppCache(shell::appCachePath(caches, id), id, context)) << id.toStdString();
    for (const QString &id : {QString(), u"."_s, u".."_s, u"../x"_s, u"a/b"_s})
        EXPECT_FALSE(shell::removeAppCache(shell::appCachePath(caches, id), id, context)) << id.toStdString();
    EXPECT_FALSE(QFileInfo(caches + u"/linked"_s).isSymLink() || QFileInfo::exists(caches + u"/real"_s));
    EXPECT_TRUE(QFile::exists(outside + u"/keep"_s) && QDir(caches).exists());
}

// What the command line asks for, before any application object exists.
TEST(CommandLineTest, readsWhatWasAskedAndRefusesTheRest)
{
    using Action = shell::CommandLine::Action;
    struct Row {
        QStringList arguments;
        Action action;
        bool unattended, acceptLicense, json, remove;
    };
    const Row rows[] = {
        {{}, Action::Run, false, false, false, false},
        {{u"launched-from-drive"_s, u"--installSilent"_s, u"qsd://licenseAgreement"_s}, Action::Run, false, false, false, false},
        {{u"--unattended"_s, u"--accept-license"_s, u"--json"_s}, Action::Run, true, true, true, false},
        {{u"--remove"_s, u"--unattended"_s}, Action::Run, true, false, false, true},
        {{u"--unattended"_s, u"--help"_s}, Action::Help, false, false, false, false},
        {{u"-V"_s}, Action::Version, false, false, false, false},
        {{u"--unatended"_s}, Action::Usage, false, false, false, false},
        {{u"--json"_s}, Action::Usage, false, false, true, false},  // --json only describes a terminal run
    };
    for (const Row &row : rows) {
        const auto line = shell::CommandLine::parse(QStringList{u"tiny-installer"_s} + row.arguments);
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        EXPECT_EQ(line.action, row.action);
        EXPECT_EQ(line.action == Action::Usage, !line.error.isEmpty());
        if (row.action == Action::Run || row.action == Action::Usage) {
            EXPECT_EQ(line.unattended, row.unattended);
            EXPECT_EQ(line.acceptLicense, row.acceptLicense);
            EXPECT_EQ(line.json, row.json);
            EXPECT_EQ(line.remove, row.remove);
        }
    }
}

// What a script is told for each screen the flow ends on.
TEST(InstallOutcomeTest, eachFailureHasItsOwnStatus)
{
    QSInfoAlert tooOld;
    tooOld.iconName = u"install_failed_block_img"_s;
    tooOld.exitOnClose = true;
    const std::pair<shell::InstallOutcome, int> rows[] = {
        {shell::InstallOutcome::fromFailure(u"Download Error"_s, true), shell::kExitSignatureRefused},
        {shell::InstallOutcome::fromFailure(u"Download Error"_s, false), shell::kExitDownloadFailed},
        {shell::InstallOutcome::fromFailure(u"Config error"_s, false), shell::kExitNoConfiguration},
        {shell::InstallOutcome::fromFailure(u"Extract error"_s, false), shell::kExitExtractionRefused},
        {shell::InstallOutcome::fromFailure(u"Install error: authorisation refused"_s, false), shell::kExitNotAuthorised},
        {shell::InstallOutcome::fromFailure(u"Install error: version 1.0 is older than the installed 2.0"_s, false), shell::kExitNothingChanged},
        {shell::InstallOutcome::fromFailure(u"Install error"_s, false), shell::kExitPlacementFailed},
        {shell::InstallOutcome::fromAlert(tooOld), shell::kExitSystemTooOld},
        {shell::InstallOutcome::fromEndingStatus(130), 130},
    };
    for (const auto &[outcome, status] : rows)
        EXPECT_EQ(outcome.status, status) << outcome.outcome.toStdString();
    EXPECT_EQ(shell::InstallOutcome::fromEndingStatus(143).sentence(u"Corvala"_s, u"/opt"_s),
              u"Interrupted by SIGTERM; nothing was left half-placed."_s);
}

// The scale the window is drawn at on the screens people have: the desktop's own where the window
// fits, otherwise the largest step that fits, never below one device pixel per point.
TEST(ScreenFit, TheWindowIsDrawnAtTheLargestScaleThatFitsAndNeverBelowOne)
{
    struct Row { QSize screen; qreal desktop, drawn; };
    const Row rows[] = {{{1920, 1080}, 1.25, 1.25}, {{1920, 1080}, 1.75, 1.5}, {{1920, 1080}, 2, 1.5}, {{1920, 1080}, 3, 1.5},
                        {{1366, 768}, 1, 1}, {{1366, 768}, 1.25, 1.125}, {{1366, 768}, 1.75, 1.125}, {{1366, 768}, 2, 1.125},
                        {{1366, 768}, 3, 1.125}, {{1024, 600}, 1, 1}, {{1024, 600}, 2, 1}, {{0, 0}, 2, 2}};
    for (const Row &row : rows)
        EXPECT_DOUBLE_EQ(row.desktop * shell::ScreenFit::shrinkFactor(QSizeF(row.screen) / row.desktop, row.desktop, {1000, 640}), row.drawn)
            << row.screen.width() << "x" << row.screen.height() << " at " << row.desktop;

    // A factor the desktop sets on the screen itself (QT_SCREEN_SCALE_FACTORS, in either form, ends
    // in this setter) is kept and lowered, not replaced; the report keeps the desktop's points.
    QScreen *screen = QGuiApplication::primaryScreen();
    const auto restore = qScopeGuard([screen] {
        QHighDpiScaling::setScreenFactor(screen, 1);
        screen->setProperty(platform::LinuxHost::kDesktopPointSizeProperty, QVariant());
    });
    const QSize device = screen->geometry().size();  // the offscreen screen is at 1
    for (const qreal desktop : {2.0, 3.0}) {
        QHighDpiScaling::setScreenFactor(screen, desktop);
        const QSize points = screen->geometry().size();
        const qreal drawn = qMax(1.0, std::floor(qMin(device.width() / 1032.0, device.height() / 672.0) * 8) / 8);
        shell::ScreenFit::apply(screen, {1000, 640});
        EXPECT_DOUBLE_EQ(screen->devicePixelRatio(), qMin(desktop, drawn)) << desktop;
        EXPECT_EQ(platform::LinuxHost().mainScreenSize(), std::optional(points)) << desktop;
    }

    // Drawn at a fraction of the window system's own scale (a Wayland output's whole number), a
    // window repaints whole; at a whole multiple of it, or where the window system does not scale,
    // Qt's partial repaints stand.
    const std::tuple<qreal, qreal, bool> repaints[] = {{1.5, 2, true}, {3, 2, true}, {1, 2, true}, {2.25, 3, true},
                                                       {2, 2, false}, {4, 2, false}, {1.5, 1, false}, {1.25, 1, false}};
    for (const auto &[drawn, native, whole] : repaints)
        EXPECT_EQ(QSWholeWindowRepaint::needed(drawn, native), whole) << drawn << " on " << native;
}
