// The delegate in process, with the fake host: start-up records and gates, the window, the
// termination sequence on every way out, crash handling and command URLs given at launch.

#include "ShellTestSupport.h"
#include "TestEnv.h"
#include "TestHttpServer.h"

#include "shell/AppDelegate.h"
#include "shell/MainWindow.h"
#include "shell/ShellNames.h"

#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <stdexcept>

using namespace std::chrono_literals;
using shelltest::containsInOrder;
using shelltest::countRecords;
using shelltest::recordsOf;

namespace {

void post(const QString &name, const QVariant &object = QVariant())
{
    platform::NotificationCenter::defaultCenter().post(name, object);
}

// Throws from its event handler, as a faulty button action would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("boom in a handler");
        return QObject::event(event);
    }
};

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest()
    {
        env.host.superUser = true;
        delegate.setAdminAlertPresenter([this](const shell::AdminAlertTexts &texts) {
            ++alertsShown;
            alertTexts = texts;
        });
    }
    ~AppDelegateTest() override { QSHttp::overrideTimeoutsForTesting(std::nullopt); }

    QStringList records() const { return recordsOf(env.logLines()); }
    QString masked(const QString &text) const { return QSLogger::maskPIIDataInMessage(text); }
    QString cachePath(const QString &identifier) const { return env.host.cachesDirectory() + QLatin1Char('/') + identifier; }

    void launch()
    {
        ASSERT_EQ(delegate.applicationDidFinishLaunching(), shell::AppDelegate::Launch::Running);
    }

    TestEnv env;
    TestHttpServer server;
    int alertsShown = 0;
    shell::AdminAlertTexts alertTexts;
    shell::AppDelegate delegate;  // last: it goes before the world it lives in
};

}  // namespace

TEST_F(AppDelegateTest, StartUpClearsBothCachesAndWritesTheirRecordsInOrder)
{
    const QString ownCache = cachePath(QStringLiteral("com.brightmoor.corvala.tinyinstaller.test"));
    const QString sharedCache = cachePath(shell::kSoftwareInstallerCacheId);
    ASSERT_TRUE(QDir().mkpath(ownCache + QStringLiteral("/nested/deeper")));
    QFile file(ownCache + QStringLiteral("/nested/entry.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    launch();

    EXPECT_FALSE(QFile::exists(ownCache));
    QString why;
    EXPECT_TRUE(containsInOrder(records(),
                                {QStringLiteral("DEBUG Removing app cache from %1 .").arg(masked(ownCache)),
                                 QStringLiteral("DEBUG Successfully removed app cache from %1 .").arg(masked(ownCache)),
                                 QStringLiteral("DEBUG Removing app cache from %1 .").arg(masked(sharedCache)),
                                 QStringLiteral("DEBUG Failed to remove app cache from %1 .").arg(masked(sharedCache)),
                                 QStringLiteral("ERROR Error: %1").arg(masked(sharedCache)),
                                 QStringLiteral("DEBUG ") + shell::kStartedFromAdmin},
                                &why))
        << why.toStdString();
    EXPECT_EQ(records().size(), 6);
    EXPECT_EQ(alertsShown, 0);
}

TEST_F(AppDelegateTest, TheWindowIsBorderlessSeeThroughCentredAndHoldsTheMainController)
{
    QLabel *content = nullptr;
    delegate.setContentFactory([&content] {
        content = new QLabel(QStringLiteral("main controller"));
        return content;
    });
    launch();

    shell::MainWindow *window = delegate.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(delegate.mainController(), content);
    EXPECT_TRUE(window->isAncestorOf(content));
    EXPECT_EQ(window->panel()->size(), QSize(shell::MainWindow::kContentWidth, shell::MainWindow::kContentHeight));
    EXPECT_NE(window->panel()->graphicsEffect(), nullptr);  // the shadow
    // The content's square corners are cut to the panel's rounded ones.
    EXPECT_FALSE(content->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(content->mask().contains(QPoint(content->width() / 2, content->height() / 2)));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 2);
}

TEST_F(AppDelegateTest, NonAdministratorSeesOneAlertAndLeavesWithoutTheEndSequence)
{
    env.host.superUser = false;
    env.host.groups.insert(QStringLiteral("sudo"), {QStringLiteral("someone-else")});

    EXPECT_EQ(delegate.applicationDidFinishLaunching(), shell::AppDelegate::Launch::Exit);

    EXPECT_EQ(alertsShown, 1);
    EXPECT_EQ(alertTexts.title, platform::localizedString("ContactAdminTitle"));
    EXPECT_EQ(alertTexts.button, platform::localizedString("MessageClose"));
    EXPECT_TRUE(alertTexts.message.contains(QStringLiteral("Corvala"))) << alertTexts.message.toStdString();
    EXPECT_FALSE(alertTexts.message.contains(QStringLiteral("%@")));
    EXPECT_EQ(records(), QStringList{QStringLiteral("DEBUG ") + shell::kNonAdminExiting});
    EXPECT_EQ(delegate.window(), nullptr);
    EXPECT_FALSE(delegate.hasTerminated());
}

TEST(AdminAlert, IsOneModalInformationAlertWithOneButtonAboveOtherWindows)
{
    TestEnv env;
    const shell::AdminAlertTexts texts{QStringLiteral("Title"), QStringLiteral("Only an admin can install Corvala"),
                                       QStringLiteral("Close")};
    bool inspected = false;
    QTimer::singleShot(0, [&] {
        auto *alert = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(alert, nullptr);
        inspected = true;
        EXPECT_EQ(alert->icon(), QMessageBox::Information);
        EXPECT_TRUE(alert->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(alert->text(), texts.title);
        EXPECT_EQ(alert->informativeText(), texts.message);
        ASSERT_EQ(alert->buttons().size(), 1);
        EXPECT_EQ(alert->buttons().first()->text(), texts.button);
        alert->buttons().first()->click();
    });
    shell::showAdminAlert(texts);  // returns once the button is pressed
    EXPECT_TRUE(inspected);
}

TEST_F(AppDelegateTest, WithoutEndpointsTheRunEndsWithEndAndNoUpload)
{
    launch();
    const qsizetype before = records().size();
    delegate.applicationWillTerminate();

    const QStringList all = records();
    EXPECT_EQ(all.mid(before).size(), 3);
    QString why;
    EXPECT_TRUE(containsInOrder(all.mid(before),
                                {QStringLiteral("EVT:End"), QStringLiteral("DEBUG ") + shell::kInstallerEnd,
                                 QStringLiteral("DEBUG ") + shell::kLogUploadUrlNotAvailable},
                                &why))
        << why.toStdString();
    EXPECT_TRUE(QFile::exists(env.logFilePath()));
    EXPECT_FALSE(delegate.window()->isVisible());
}

class TerminationUpload : public AppDelegateTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminationUpload, SendsEveryEventWithEndLastThenUploadsAndDeletesOnlyOn200)
{
    const int uploadStatus = GetParam();
    server.answer("/events", {});
    TestHttpServer::Answer uploadAnswer;
    uploadAnswer.status = uploadStatus;
    server.answerOtherPaths(uploadAnswer);
    launch();
    post(shell::kLogAnalytics, QStringLiteral("first event"));
    post(shell::kChangeAnalyticsUrl, server.url(QStringLiteral("/events")).toString());
    post(shell::kChangeLogUploadUrl, server.url(QStringLiteral("/logs/")).toString());
    post(shell::kLogAnalytics, QStringLiteral("second event"));

    delegate.applicationWillTerminate();
    delegate.applicationWillTerminate();  // once only

    ASSERT_EQ(server.requests().size(), 2);
    const TestHttpServer::Request &batch = server.requests().at(0);
    EXPECT_EQ(batch.method, "POST");
    const QList<QByteArray> lines = batch.body.split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "first event\r");
    EXPECT_EQ(lines[1], "second event\r");
    EXPECT_TRUE(lines[2].contains("\"EVT\":\"End\"")) << lines[2].constData();

    const TestHttpServer::Request &upload = server.requests().at(1);
    EXPECT_EQ(upload.method, "PUT");
    EXPECT_TRUE(upload.path.startsWith("/logs/")) << upload.path.constData();
    // The uploaded log ends with the End event and the record that follows it.
    const QStringList uploaded = recordsOf(QString::fromUtf8(upload.body).split(QStringLiteral("\r\n")));
    ASSERT_GE(uploaded.size(), 2);
    EXPECT_TRUE(uploaded.at(uploaded.size() - 2).contains(QStringLiteral("\"EVT\":\"End\"")));
    EXPECT_EQ(uploaded.last(), QStringLiteral("DEBUG ") + shell::kInstallerEnd);

    EXPECT_EQ(QFile::exists(env.logFilePath()), uploadStatus != 200);
    if (uploadStatus != 200) {
        EXPECT_EQ(countRecords(records(), QStringLiteral("EVT ")), 1);
        EXPECT_EQ(countRecords(records(), QStringLiteral("DEBUG ") + shell::kLogUploadUrlNotAvailable), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Shell, TerminationUpload, ::testing::Values(200, 500));

TEST_F(AppDelegateTest, UnreachableEndpointsAtExitHoldTheProcessOnlyForTheirDeadlines)
{
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{300ms, 600ms});
    TestHttpServer::Answer stall;
    stall.fault = TestHttpServer::Fault::Stall;
    server.answerOtherPaths(stall);
    TestHttpServer refused;
    refused.refuse();
    launch();
    post(shell::kChangeAnalyticsUrl, server.url(QStringLiteral("/events")).toString());
    post(shell::kChangeLogUploadUrl, refused.url(QStringLiteral("/logs/")).toString());
    env.consoleLines.clear();

    QElapsedTimer clock;
    clock.start();
    delegate.applicationWillTerminate();
    EXPECT_LT(clock.elapsed(), 5000);

    EXPECT_EQ(server.requests().size(), 1);  // the batch reached the stalled server
    EXPECT_TRUE(QFile::exists(env.logFilePath()));
    EXPECT_EQ(records().last(), QStringLiteral("DEBUG ") + shell::kInstallerEnd);
    // No answer data: the upload's error goes to the console.
    EXPECT_FALSE(env.consoleLines.isEmpty());
}

TEST_F(AppDelegateTest, AnExceptionFromAnEventHandlerEndsTheRunInOrder)
{
    server.answerOtherPaths({});
    launch();
    post(shell::kChangeLogUploadUrl, server.url(QStringLiteral("/logs/")).toString());
    ThrowingObject thrower;
    thrower.setObjectName(QStringLiteral("installButton"));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));

    const int status = delegate.runUntilTerminated();

    EXPECT_EQ(status, shell::kCrashExitStatus);
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("CRASH REASON: boom in a handler")));
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("CRASH USER_INFO: {")));
    // The upload was attempted, and it carried the crash and the end of the run.
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().first().method, "PUT");
    const QStringList uploaded = recordsOf(QString::fromUtf8(server.requests().first().body).split(QStringLiteral("\r\n")));
    QString why;
    EXPECT_TRUE(containsInOrder(uploaded,
                                {QStringLiteral("ERROR Application crashed with [reason: boom in a handler and userInfo: {"),
                                 QStringLiteral("EVT:End"), QStringLiteral("DEBUG ") + shell::kInstallerEnd},
                                &why))
        << why.toStdString();
    const qsizetype crashAt = shelltest::indexOfRecord(uploaded, QStringLiteral("ERROR Application crashed"));
    ASSERT_GE(crashAt, 0);
    EXPECT_TRUE(uploaded.at(crashAt).contains(QStringLiteral("std::runtime_error"))) << uploaded.at(crashAt).toStdString();
    EXPECT_TRUE(uploaded.at(crashAt).contains(QStringLiteral("installButton"))) << uploaded.at(crashAt).toStdString();
    EXPECT_FALSE(QFile::exists(env.logFilePath()));  // accepted with 200, so deleted
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

    QElapsedTimer clock;
    clock.start();
    const int status = delegate.runUntilTerminated();

    EXPECT_EQ(status, 0);
    EXPECT_LT(clock.elapsed(), 5000);
    const QStringList all = records();
    EXPECT_EQ(shelltest::countRecords(all, QStringLiteral("EVT ")), 1);
    EXPECT_EQ(shelltest::countRecords(all, QStringLiteral("DEBUG ") + shell::kInstallerEnd), 1);
    EXPECT_EQ(all.last(), QStringLiteral("DEBUG ") + shell::kLogUploadUrlNotAvailable);
    EXPECT_FALSE(delegate.window()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Shell, EveryWayOut,
    ::testing::Values(WayOut{"quit", [](shell::AppDelegate &) { QCoreApplication::quit(); }},
                      WayOut{"window_closed", [](shell::AppDelegate &d) { d.window()->close(); }},
                      WayOut{"all_windows_closed", [](shell::AppDelegate &) { QApplication::closeAllWindows(); }},
                      WayOut{"sigterm", [](shell::AppDelegate &) { ::raise(SIGTERM); }},
                      WayOut{"sigint", [](shell::AppDelegate &) { ::raise(SIGINT); }},
                      WayOut{"sighup", [](shell::AppDelegate &) { ::raise(SIGHUP); }},
                      WayOut{"quit_twice", [](shell::AppDelegate &) {
                                 QCoreApplication::quit();
                                 QCoreApplication::quit();
                             }}),
    [](const ::testing::TestParamInfo<WayOut> &row) { return std::string(row.param.name); });

TEST_F(AppDelegateTest, ATerminationAskedForBeforeTheLoopRunsStillEndsInOrder)
{
    launch();
    delegate.requestTermination();
    EXPECT_EQ(delegate.runUntilTerminated(), 0);  // returns without entering the loop
    EXPECT_EQ(shelltest::countRecords(records(), QStringLiteral("EVT ")), 1);
}

TEST_F(AppDelegateTest, TheLaunchArgumentIsHandledOnceStartUpIsDone)
{
    int opened = 0;
    const auto token = platform::NotificationCenter::defaultCenter().addObserver(
        shell::kOpenPrivacyPolicyLink, [&opened](const platform::Notification &) { ++opened; });
    ASSERT_TRUE(delegate.applicationWillFinishLaunching(
        {QStringLiteral("TinyInstaller"), QStringLiteral("--installSilent"), QStringLiteral("qsd://privacyPolicy")}));
    launch();
    EXPECT_EQ(opened, 0);  // not during start-up
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened == 1; }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(opened, 1);
    platform::NotificationCenter::defaultCenter().removeObserver(token);
}

TEST(AppDelegate, CommandUrlArgumentIsTheFirstArgumentThatLooksLikeAUrl)
{
    using shell::AppDelegate;
    EXPECT_TRUE(AppDelegate::commandUrlArgument({QStringLiteral("qsd://crashInfo")}).isNull());  // the program
    EXPECT_TRUE(AppDelegate::commandUrlArgument({QStringLiteral("p"), QStringLiteral("launched-from-drive")}).isNull());
    EXPECT_EQ(AppDelegate::commandUrlArgument({QStringLiteral("p"), QStringLiteral("--updateSilent"),
                                               QStringLiteral("qsd://crashInfo"), QStringLiteral("qsd://privacyPolicy")}),
              QStringLiteral("qsd://crashInfo"));
}
