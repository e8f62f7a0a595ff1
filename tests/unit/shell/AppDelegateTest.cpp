// In process with the fake host: the administrator gate, every way out (the termination signals
// included), crashes, the run log's upload at the end, the caches, exact command URLs.

#include "TestEnv.h"
#include "TestHttpServer.h"

#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "shell/AppCache.h"
#include "shell/AppDelegate.h"
#include "shell/CommandUrls.h"
#include "shell/MainWindow.h"
#include "shell/ShellNames.h"
#include "telemetry/QSHttp.h"
#include "telemetry/QSLogger.h"
#include "telemetry/QSNotificationNames.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString kDebug = u"DEBUG "_s;

// Run-log records as "TRACE message" texts ("DEBUG Tiny Installer end", "EVT {...json...}").
QStringList recordsOf(const QByteArray &logText)
{
    static const QRegularExpression record(QStringLiteral(R"re("trace": "(\w+)", "message":(.*), "lang": ")re"));
    QStringList records;
    for (const QString &line : QString::fromUtf8(logText).split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch match = record.match(line);
        const QString message = match.captured(2).trimmed();
        if (match.hasMatch())
            records << match.captured(1) + u' ' + (match.captured(1) == u"EVT"_s ? message : message.mid(1, message.size() - 2).trimmed());
    }
    return records;
}

// Each expected prefix matches a later record than the one before; "EVT:<name>" stands for the
// record of that analytics event.
::testing::AssertionResult inOrder(const QStringList &records, const QStringList &expected)
{
    qsizetype at = 0;
    for (const QString &want : expected) {
        const QString prefix = want.startsWith(u"EVT:"_s) ? u"EVT "_s : want;
        const QString field = u"\"EVT\":\"%1\""_s.arg(want.mid(4));
        while (at < records.size() && !(records.at(at).startsWith(prefix) && (prefix == want || records.at(at).contains(field))))
            ++at;
        if (at++ >= records.size())
            return ::testing::AssertionFailure() << "missing or out of order: " << want.toStdString() << "\nrecords:\n"
                                                 << records.join(u'\n').toStdString();
    }
    return ::testing::AssertionSuccess();
}

void post(const QString &name, const QVariant &object = QVariant())
{
    platform::NotificationCenter::defaultCenter().post(name, object);
}

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { env.host.superUser = true; }
    ~AppDelegateTest() override { QSHttp::overrideTimeoutsForTesting(std::nullopt); }
    QStringList records() const
    {
        QFile file(env.logFilePath());
        return file.open(QIODevice::ReadOnly) ? recordsOf(file.readAll()) : QStringList();
    }
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
    EXPECT_EQ(records(), QStringList{kDebug + shell::kNonAdminExiting});
}

struct WayOut {
    const char *name;
    std::function<void(shell::AppDelegate &)> take;
};
void PrintTo(const WayOut &way, std::ostream *os) { *os << way.name; }

class EveryWayOut : public AppDelegateTest, public ::testing::WithParamInterface<WayOut> {};

// Every way out ends the run once and in order, after the start removed the installer's own cache
// and reported the shared one it could not find.
TEST_P(EveryWayOut, RunsTheTerminationSequenceExactlyOnce)
{
    const QString caches = env.host.cachesDirectory();
    const QString ownCache = shell::appCachePath(caches, platform::Bundle::bundleIdentifier());
    const QString sharedCache = shell::appCachePath(caches, shell::kSoftwareInstallerCacheId);
    ASSERT_TRUE(QDir().mkpath(ownCache + u"/nested"_s));
    launch();
    QTimer::singleShot(10, &delegate, [this] { GetParam().take(delegate); });
    EXPECT_EQ(delegate.runUntilTerminated(), 0);

    const QStringList all = records();
    const auto masked = [this](QString path) { return path.replace(env.host.login, u"****"_s); };  // as the run log has it
    EXPECT_TRUE(inOrder(all, {u"DEBUG Successfully removed app cache from %1 ."_s.arg(masked(ownCache)),
                              u"DEBUG Failed to remove app cache from %1 ."_s.arg(masked(sharedCache)), kDebug + shell::kStartedFromAdmin}));
    EXPECT_EQ(all.filter(u"EVT {"_s).size(), 1);
    EXPECT_TRUE(inOrder(all.mid(all.size() - 3), {u"EVT:End"_s, kDebug + shell::kInstallerEnd, kDebug + shell::kLogUploadUrlNotAvailable}));
    EXPECT_FALSE(delegate.window()->isVisible());
    EXPECT_FALSE(QFileInfo::exists(ownCache));
}

INSTANTIATE_TEST_SUITE_P(
    Shell, EveryWayOut,
    ::testing::Values(WayOut{"quit", [](shell::AppDelegate &) { QCoreApplication::quit(); }},
                      WayOut{"quit_twice", [](shell::AppDelegate &) { QCoreApplication::quit(), QCoreApplication::quit(); }},
                      WayOut{"window_closed", [](shell::AppDelegate &d) { d.window()->close(); }},
                      WayOut{"SIGTERM", [](shell::AppDelegate &) { ::raise(SIGTERM); }},
                      WayOut{"SIGINT", [](shell::AppDelegate &) { ::raise(SIGINT); }},
                      WayOut{"SIGHUP", [](shell::AppDelegate &) { ::raise(SIGHUP); }}),
    [](const ::testing::TestParamInfo<WayOut> &row) { return std::string(row.param.name); });

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
    // The analytics batch: every queued event, "End" last; the uploaded log: the crash, then the end.
    const QList<QByteArray> batch = server.requests().at(0).body.split('\n');
    EXPECT_EQ(batch.first(), "first event\r");
    EXPECT_TRUE(batch.last().contains("\"EVT\":\"End\"")) << batch.last().constData();
    const QStringList uploaded = recordsOf(server.requests().at(1).body);
    EXPECT_TRUE(inOrder(uploaded, {u"ERROR Application crashed with [reason: boom in a handler and userInfo: {"_s, u"EVT:End"_s,
                                   kDebug + shell::kInstallerEnd}));
    const QString crash = uploaded.filter(u"Application crashed"_s).value(0);
    EXPECT_TRUE(crash.contains(u"std::runtime_error"_s) && crash.contains(u"installButton"_s)) << crash.toStdString();
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
    QFile log(home + u"/AppData/Prod/Logs/tiny.log"_s);
    EXPECT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(inOrder(recordsOf(log.readAll()), {u"ERROR Application crashed with [reason: fatal on a worker and userInfo: {"_s,
                                                   u"EVT:End"_s, kDebug + shell::kInstallerEnd}));
}

// The end of the run by how the servers answer: only a 200 for the upload lets the run log go, and
// a server that never answers holds the end only for the request deadlines.
struct EndAnswer {
    const char *name;
    TestHttpServer::Answer answer;
    bool logDeleted;
};
void PrintTo(const EndAnswer &row, std::ostream *os) { *os << row.name; }

class EndAnswers : public AppDelegateTest, public ::testing::WithParamInterface<EndAnswer> {};

TEST_P(EndAnswers, OnlyA200DeletesTheRunLogAndAStallHoldsTheEndOnlyForItsDeadlines)
{
    QSHttp::overrideTimeoutsForTesting(QSHttp::Timeouts{300ms, 600ms});
    server.answerOtherPaths(GetParam().answer);
    launch();
    post(QSNotificationNames::kChangeAnalyticsUrl, server.url(u"/events"_s).toString());
    post(QSNotificationNames::kChangeLogUploadUrl, server.url(u"/logs/"_s).toString());

    QElapsedTimer clock;
    clock.start();
    delegate.applicationWillTerminate();
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().at(1).method, "PUT");
    EXPECT_EQ(QFile::exists(env.logFilePath()), !GetParam().logDeleted);
    if (!GetParam().logDeleted) {
        EXPECT_EQ(records().value(records().size() - 1), kDebug + shell::kInstallerEnd);
    }
}

INSTANTIATE_TEST_SUITE_P(Shell, EndAnswers,
                         ::testing::Values(EndAnswer{"ok", {200}, true}, EndAnswer{"created", {201}, false},
                                           EndAnswer{"no_content", {204}, false},
                                           EndAnswer{"stalled", {200, {}, {}, TestHttpServer::Fault::Stall}, false}),
                         [](const ::testing::TestParamInfo<EndAnswer> &row) { return std::string(row.param.name); });

// Whether a near miss opened a window is not visible from outside the process; here it is.
TEST(CommandUrls, EachExactAddressPostsItsOwnNotificationAndNearMissesNone)
{
    TestEnv env;
    QList<platform::Notification> posted;
    auto &center = platform::NotificationCenter::defaultCenter();
    std::vector<platform::NotificationCenter::Token> tokens;
    for (const QString &name : {QSNotificationNames::kShowCrashInfoDialog, QSNotificationNames::kOpenPrivacyPolicyLink, QSNotificationNames::kOpenEula})
        tokens.push_back(center.addObserver(name, [&posted](const platform::Notification &n) { posted << n; }));
    const auto overlay = [](bool with) { return QVariant(QVariantMap{{QSNotificationNames::kWithOverlay, with}}); };
    const std::tuple<QString, QString, QVariant> rows[] = {  // address, notification posted, its object
        {u"qsd://crashInfo"_s, QSNotificationNames::kShowCrashInfoDialog, overlay(true)},
        {u"qsd://innerCrashInfo"_s, QSNotificationNames::kShowCrashInfoDialog, overlay(false)},
        {u"qsd://privacyPolicy"_s, QSNotificationNames::kOpenPrivacyPolicyLink, {}},
        {u"qsd://licenseAgreement"_s, QSNotificationNames::kOpenEula, {}},
        {u"qsd://licenseAgreement/"_s, {}, {}}, {u"QSD://licenseAgreement"_s, {}, {}},
        {u" qsd://crashInfo"_s, {}, {}}, {u"qsd://privacyPolicy?a=b"_s, {}, {}},
    };
    for (const auto &[url, name, object] : rows) {
        posted.clear();
        EXPECT_EQ(shell::dispatchCommandUrl(url), !name.isNull()) << url.toStdString();
        ASSERT_EQ(posted.size(), name.isNull() ? 0 : 1) << url.toStdString();
        if (!posted.isEmpty()) {
            EXPECT_TRUE(posted.first().name == name && posted.first().object == object) << url.toStdString();
        }
    }
    for (const auto token : tokens)
        center.removeObserver(token);
}

// Removing a cache folder never reaches beyond it: not through a link, and not with an identifier
// that is not one folder name.
TEST(AppCache, RemovalStaysInsideTheOneCacheFolder)
{
    TestEnv env;
    const QString caches = env.host.cachesDirectory();
    const QString outside = env.path(u"precious"_s);
    ASSERT_TRUE(QDir().mkpath(outside) && QDir().mkpath(caches + u"/com.example.real"_s));
    ASSERT_TRUE(QFile(outside + u"/keep.txt"_s).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(outside, caches + u"/com.example.linked"_s));
    ASSERT_TRUE(QFile::link(outside, caches + u"/com.example.real/escape"_s));
    const QSLogContext context = QS_LOG_CONTEXT("-[AppDelegate applicationDidFinishLaunching:]");

    for (const QString &id : {u"com.example.linked"_s, u"com.example.real"_s})
        EXPECT_TRUE(shell::removeAppCache(shell::appCachePath(caches, id), id, context)) << id.toStdString();
    for (const QString &id : {QString(), u"."_s, u".."_s, u"../x"_s, u"a/b"_s})
        EXPECT_FALSE(shell::removeAppCache(shell::appCachePath(caches, id), id, context)) << id.toStdString();
    EXPECT_FALSE(QFileInfo(caches + u"/com.example.linked"_s).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(caches + u"/com.example.real"_s));
    EXPECT_TRUE(QFile::exists(outside + u"/keep.txt"_s));
    EXPECT_TRUE(QDir(caches).exists());
}
