#include "TestEnv.h"

#include "telemetry/QSTask.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

TEST(QSTask, ReturnsStandardOutputUpToTheFirstZeroByte)
{
    TestEnv env;
    EXPECT_EQ(QSTask::runTaskWithPath(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf 'one\\000two'")}),
              QStringLiteral("one"));
    EXPECT_TRUE(QSTask::runTaskWithPath(QStringLiteral("/bin/true"), {}).isNull()) << "no output is absent";
    EXPECT_EQ(QSTask::runTaskWithPath(QStringLiteral("/bin/echo"), {QStringLiteral("hi")}, 5.0), QStringLiteral("hi\n"));
}

TEST(QSTask, AProgramThatOutlivesTheLimitIsStoppedAndTheMessageReturned)
{
    TestEnv env;
    QFile marker(env.path(QStringLiteral("still-running")));
    QElapsedTimer clock;
    clock.start();
    const QString script = QStringLiteral("sleep 5; touch '%1'").arg(marker.fileName());
    const QString result = QSTask::runTaskWithPath(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, 0.3);
    EXPECT_EQ(result, QStringLiteral("Run Task with path: /bin/sh could not complete in 0s"));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_FALSE(marker.exists());

    // A limit of zero always times out.
    EXPECT_EQ(QSTask::runTaskWithPath(QStringLiteral("/bin/sleep"), {QStringLiteral("1")}, 0.0),
              QStringLiteral("Run Task with path: /bin/sleep could not complete in 0s"));
}

TEST(QSTask, AProgramThatCannotStartIsReportedAndGivesNoOutput)
{
    TestEnv env;
    EXPECT_TRUE(QSTask::runTaskWithPath(QStringLiteral("/nonexistent/tool"), {}).isNull());
    ASSERT_FALSE(env.consoleLines.isEmpty());
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("Exception: ")));
    const QStringList log = env.logLines();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(QStringLiteral("\"trace\": \"ERROR\"")));
    EXPECT_TRUE(log[0].contains(QStringLiteral("Run Task with path: /nonexistent/tool threw an exception: ")));
    EXPECT_TRUE(log[0].contains(QStringLiteral("\"file\": \"QSTask\", \"fn\": \"+[QSTask runTaskWithPath:andArguments:]\"")));
}
