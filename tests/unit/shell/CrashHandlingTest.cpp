// Crash handling: how exceptions are described, what happens before start-up installs the
// handler, and std::terminate on the main thread and on another thread (death tests: the
// process really ends, after the orderly exit).

#include "ShellTestSupport.h"
#include "TestEnv.h"

#include "shell/AppDelegate.h"
#include "shell/CrashHandling.h"
#include "shell/ShellNames.h"

#include "platform/Console.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <thread>

namespace {

shell::CrashReport describe(const std::function<void()> &thrower)
{
    try {
        thrower();
    } catch (...) {
        return shell::CrashReport::fromCurrentException({{QStringLiteral("receiver"), QStringLiteral("QPushButton")}});
    }
    return {};
}

class ThrowingObject : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("thrown before start-up");
        return QObject::event(event);
    }
};

// The folder a death test and its child share: the parent makes it and names it in the
// environment, the child (a fresh run of this test) finds it there.
QString sharedFolder(std::unique_ptr<QTemporaryDir> &owner, const char *variable)
{
    if (qEnvironmentVariableIsSet(variable))
        return qEnvironmentVariable(variable);
    owner = std::make_unique<QTemporaryDir>();
    qputenv(variable, owner->path().toUtf8());
    return owner->path();
}

// In the child: a delegate that has started, with console lines on standard error.
void startDelegateIn(TestEnv &env, const QString &home, std::unique_ptr<shell::AppDelegate> &delegate)
{
    env.host.superUser = true;
    env.host.home = home;
    QDir().mkpath(home);
    platform::setConsoleSink(nullptr);
    delegate = std::make_unique<shell::AppDelegate>();
    delegate->applicationDidFinishLaunching();
}

QStringList recordsIn(const QString &home)
{
    QFile file(home + QStringLiteral("/AppData/Prod/Logs/tiny.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return shelltest::recordsOf(QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n")));
}

void expectOrderlyCrashRecords(const QStringList &records, const QString &reason)
{
    QString why;
    EXPECT_TRUE(shelltest::containsInOrder(
        records,
        {QStringLiteral("DEBUG ") + shell::kStartedFromAdmin,
         QStringLiteral("ERROR Application crashed with [reason: %1 and userInfo: {").arg(reason), QStringLiteral("EVT:End"),
         QStringLiteral("DEBUG ") + shell::kInstallerEnd, QStringLiteral("DEBUG ") + shell::kLogUploadUrlNotAvailable},
        &why))
        << why.toStdString();
    EXPECT_EQ(shelltest::countRecords(records, QStringLiteral("EVT ")), 1);
}

}  // namespace

TEST(CrashReport, DescribesWhatWasThrown)
{
    const shell::CrashReport standard = describe([] { throw std::out_of_range("index 7 past the end"); });
    EXPECT_EQ(standard.reason, QStringLiteral("index 7 past the end"));
    EXPECT_EQ(standard.userInfo, QStringLiteral(R"({"receiver":"QPushButton","type":"std::out_of_range"})"));

    const shell::CrashReport other = describe([] { throw 42; });
    EXPECT_FALSE(other.reason.isEmpty());
    EXPECT_TRUE(other.userInfo.contains(QStringLiteral("\"type\":\"int\""))) << other.userInfo.toStdString();

    const shell::CrashReport none = shell::CrashReport::fromCurrentException();
    EXPECT_EQ(none.reason, QStringLiteral("terminate called without an active exception"));
}

TEST(CrashHandling, BeforeStartUpAnEventExceptionOnlyReachesTheConsole)
{
    TestEnv env;
    shell::removeCrashHandlers();
    ThrowingObject thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();  // must not unwind through Qt
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("CRASH REASON: thrown before start-up")));
    EXPECT_TRUE(env.logLines().isEmpty());
}

TEST(CrashHandlingDeathTest, TerminateOnTheMainThreadEndsInOrderWithAFailureStatus)
{
    std::unique_ptr<QTemporaryDir> owner;
    const QString home = sharedFolder(owner, "TI_SHELL_DEATH_HOME_MAIN") + QStringLiteral("/home");
    EXPECT_EXIT(
        {
            TestEnv env;
            std::unique_ptr<shell::AppDelegate> delegate;
            startDelegateIn(env, home, delegate);
            try {
                throw std::runtime_error("fatal on the main thread");
            } catch (...) {
                std::terminate();
            }
        },
        ::testing::ExitedWithCode(shell::kCrashExitStatus), "CRASH REASON: fatal on the main thread");
    qunsetenv("TI_SHELL_DEATH_HOME_MAIN");
    expectOrderlyCrashRecords(recordsIn(home), QStringLiteral("fatal on the main thread"));
}

TEST(CrashHandlingDeathTest, TerminateOnAnotherThreadLetsTheMainThreadEndInOrder)
{
    std::unique_ptr<QTemporaryDir> owner;
    const QString home = sharedFolder(owner, "TI_SHELL_DEATH_HOME_WORKER") + QStringLiteral("/home");
    EXPECT_EXIT(
        {
            TestEnv env;
            std::unique_ptr<shell::AppDelegate> delegate;
            startDelegateIn(env, home, delegate);
            std::thread([] {
                try {
                    throw std::logic_error("fatal on a worker");
                } catch (...) {
                    std::terminate();
                }
            }).detach();
            QTest::qWait(30000);  // the main thread's loop takes the orderly exit from here
        },
        ::testing::ExitedWithCode(shell::kCrashExitStatus), "CRASH USER_INFO: .*std::logic_error");
    qunsetenv("TI_SHELL_DEATH_HOME_WORKER");
    expectOrderlyCrashRecords(recordsIn(home), QStringLiteral("fatal on a worker"));
}
