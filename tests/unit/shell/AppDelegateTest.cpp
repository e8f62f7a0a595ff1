// In process with the fake host: the administrator gate, every way out but the signals
// (ShellProcessTest sends those), crashes, unreachable endpoints at exit, exact command URLs.

#include "ShellTestSupport.h"
#include "TestEnv.h"
#include "TestHttpServer.h"

#include "telemetry/QSNotificationNames.h"
#include "shell/AppDelegate.h"
#include "shell/CommandUrls.h"
#include "shell/MainWindow.h"
#include "shell/ShellNames.h"

#include "platform/Console.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSHttp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using shelltest::inOrder;

namespace {

const QString kDebug = u"DEBUG "_s;
const QStringList kEndOfRun{u"EVT:End"_s, kDebug + shell::kInstallerEnd, kDebug + shell::kLogUploadUrlNotAvailable};

void post(const QString &name, const QVariant &object = QVariant())
{
    platform::NotificationCenter::defaultCenter().post(name, object);
}

// Throws from its event handler, as a faulty button action would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        throw std::runtime_error("boom in a handler");
    }
};

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { env.host.superUser = true; }
    ~AppDelegateTest() override { QSHttp::overrideTimeoutsForTesting(std::nullopt); }
    QStringList records() const { return shelltest::recordsIn(env.logFilePath()); }
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
        EXPECT_EQ(alert->icon(), QMessageBox::Information);
        EXPECT_TRUE(alert->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(alert->text(), platform::localizedString("ContactAdminTitle"));
        EXPECT_TRUE(alert->informativeText().contains(u"Corvala"_s)) << alert->informativeText().toStdString();
        ASSERT_EQ(alert->buttons().size(), 1);
        EXPECT_EQ(alert->buttons().first()->text(), platform::localizedString("MessageClose"));
        alert->buttons().first()->click();
    });

    EXPECT_EQ(delegate.applicationDidFinishLaunching(), shell::AppDelegate::Launch::Exit);
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(records(), QStringList{kDebug + shell::kNonAdminExiting});
}

struct WayOut {
    const char *name;
    std::function<void(shell::AppDelegate &)> take;
};
void PrintTo(const WayOut &way, std::ostream *os) { *os << way.name; }

class EveryWayOut : public AppDelegateTest, public ::testing::WithParamInterface<WayOut> {};

TEST_P(EveryWayOut, RunsTheTerminationSequenceExactlyOnce)
{
    launch();
    QTimer::singleShot(10, &delegate, [this] { GetParam().take(delegate); });
    EXPECT_EQ(delegate.runUntilTerminated(), 0);

    const QStringList all = records();
    EXPECT_EQ(all.filter(u"EVT {"_s).size(), 1);
    EXPECT_TRUE(inOrder(all.mid(all.size() - kEndOfRun.size()), kEndOfRun));  // the last three records
    EXPECT_FALSE(delegate.window()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Shell, EveryWayOut,
    ::testing::Values(WayOut{"quit", [](shell::AppDelegate &) { QCoreApplication::quit(); }},
                      WayOut{"quit_twice", [](shell::AppDelegate &) { QCoreApplication::quit(), QCoreApplication::quit(); }},
                      WayOut{"window_closed", [](shell::AppDelegate &d) { d.window()->close(); }}),
    [](const ::testing::TestParamInfo<WayOut> &row) { return std::string(row.param.name); });

TEST_F(AppDelegateTest, AnExceptionFromAnEventHandlerWritesTheCrashThenEndsInOrderAndUploads)
{
    server.answerOtherPaths({});
    launch();
    std::thread([] { post(QSNotificationNames::kLogAnalytics, u"first event"_s); }).join();
    EXPECT_TRUE(delegate.analytics().queue().isEmpty());  // taken on the main thread, not the worker's
    post(QSNotificationNames::kChangeAnalyticsUrl, server.url(u"/events"_s).toString());
    post(QSNotificationNames::kChangeLogUploadUrl, server.url(u"/logs/"_s).toString());
    ThrowingObject thrower;
    thrower.setObjectName(u"installButton"_s);
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));

    EXPECT_EQ(delegate.runUntilTerminated(), shell::kCrashExitStatus);

    EXPECT_TRUE(env.consoleLines.contains(u"CRASH REASON: boom in a handler"_s));
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, u"CRASH USER_INFO: {"_s));
    ASSERT_EQ(server.requests().size(), 2);
    // The analytics batch: every queued event, "End" last.
    EXPECT_EQ(server.requests().at(0).method, "POST");
    const QList<QByteArray> batch = server.requests().at(0).body.split('\n');
    EXPECT_EQ(batch.first(), "first event\r");
    EXPECT_TRUE(batch.last().contains("\"EVT\":\"End\"")) << batch.last().constData();
    // The uploaded log holds the crash, then the end of the run; accepted with 200, it is deleted.
    EXPECT_EQ(server.requests().at(1).method, "PUT");
    const QStringList uploaded = shelltest::recordsOf(server.requests().at(1).body);
    EXPECT_TRUE(inOrder(uploaded, {u"ERROR Application crashed with [reason: boom in a handler and userInfo: {"_s, u"EVT:End"_s,
                                   kDebug + shell::kInstallerEnd}));
    const QString crash = uploaded.filter(u"Application crashed"_s).value(0);
    EXPECT_TRUE(crash.contains(u"std::runtime_error"_s) && crash.contains(u"installButton"_s)) << crash.toStdString();
    EXPECT_FALSE(QFile::exists(env.logFilePath()));
}

// std::terminate on a worker thread: the main thread still ends the run in order, then the process
// ends with the crash status. The child (a fresh run of this program) finds the folder by name.
TEST(CrashHandlingDeathTest, TerminateOnAWorkerThreadEndsTheRunInOrder)
{
    std::unique_ptr<QTemporaryDir> owner;
    if (!qEnvironmentVariableIsSet("TI_SHELL_DEATH_HOME")) {
        owner = std::make_unique<QTemporaryDir>();
        qputenv("TI_SHELL_DEATH_HOME", owner->path().toUtf8());
    }
    const QString home = qEnvironmentVariable("TI_SHELL_DEATH_HOME");
    EXPECT_EXIT(
        {
            TestEnv env;
            env.host.superUser = true;
            env.host.home = home;
            platform::setConsoleSink(nullptr);  // console lines to standard error
            shell::AppDelegate delegate;
            delegate.applicationDidFinishLaunching();
            std::thread([] { throw std::logic_error("fatal on a worker"); }).detach();  // uncaught: std::terminate
            QTest::qWait(30000);
        },
        ::testing::ExitedWithCode(shell::kCrashExitStatus), "CRASH USER_INFO: .*std::logic_error");
    qunsetenv("TI_SHELL_DEATH_HOME");
    EXPECT_TRUE(inOrder(shelltest::recordsIn(home + u"/AppData/Prod/Logs/tiny.log"_s),
                        QStringList{u"ERROR Application crashed with [reason: fatal on a worker and userInfo: {"_s} + kEndOfRun));
}

TEST_F(AppDelegateTest, UnreachableEndpointsAtExitHoldTheProcessOnlyForTheirDeadlines)
{
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{300ms, 600ms});
    TestHttpServer::Answer stall;
    stall.fault = TestHttpServer::Fault::Stall;
    server.answerOtherPaths(stall);
    TestHttpServer refused;
    refused.refuse();
    launch();
    post(QSNotificationNames::kChangeAnalyticsUrl, server.url(u"/events"_s).toString());
    post(QSNotificationNames::kChangeLogUploadUrl, refused.url(u"/logs/"_s).toString());

    QElapsedTimer clock;
    clock.start();
    delegate.applicationWillTerminate();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(server.requests().size(), 1);  // the batch reached the stalled server
    EXPECT_EQ(records().last(), kDebug + shell::kInstallerEnd);
    EXPECT_TRUE(QFile::exists(env.logFilePath()));  // not accepted, so kept
}

// Whether a near miss opened a window is not visible from outside the process; here it is.
TEST(CommandUrls, OnlyTheExactAddressPostsItsNotification)
{
    TestEnv env;
    QStringList posted;
    auto &center = platform::NotificationCenter::defaultCenter();
    std::vector<platform::NotificationCenter::Token> tokens;
    for (const QString &name : {QSNotificationNames::kShowCrashInfoDialog, QSNotificationNames::kOpenPrivacyPolicyLink, QSNotificationNames::kOpenEula})
        tokens.push_back(center.addObserver(name, [&posted](const platform::Notification &n) { posted << n.name; }));
    for (const QString &url :
         {u"qsd://licenseAgreement/"_s, u"QSD://licenseAgreement"_s, u" qsd://crashInfo"_s, u"qsd://privacyPolicy?a=b"_s})
        EXPECT_FALSE(shell::dispatchCommandUrl(url)) << url.toStdString();
    EXPECT_TRUE(posted.isEmpty()) << posted.join(u',').toStdString();
    EXPECT_TRUE(shell::dispatchCommandUrl(u"qsd://licenseAgreement"_s));
    EXPECT_EQ(posted, QStringList{QSNotificationNames::kOpenEula});
    for (const auto token : tokens)
        center.removeObserver(token);
}
