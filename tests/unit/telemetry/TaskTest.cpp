#include "TestEnv.h"

#include "telemetry/QSTask.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(QSTask, OutputUpToTheFirstZeroByteOrNothingOrTheReasonWhy)
{
    TestEnv env;
    const auto run = [](const QString &script, double limit) {
        return QSTask::runTaskWithPath(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, limit);
    };
    EXPECT_EQ(run("printf 'one\\000two'", 5.0), QStringLiteral("one"));
    EXPECT_TRUE(run("true", 5.0).isNull()) << "no output is absent";
    // A program that outlives the limit is stopped before it does anything more.
    const QString marker = env.path(QStringLiteral("still-running"));
    EXPECT_EQ(run(QStringLiteral("sleep 5; touch '%1'").arg(marker), 0.3),
              QStringLiteral("Run Task with path: /bin/sh could not complete in 0s"));
    EXPECT_FALSE(QFile::exists(marker));
    // A program that cannot start gives no output, a console line and an error record.
    EXPECT_TRUE(QSTask::runTaskWithPath(QStringLiteral("/nonexistent/tool"), {}).isNull());
    EXPECT_TRUE(hasLineStartingWith(env.consoleLines, QStringLiteral("Exception: ")));
    const QStringList log = env.logLines();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(QStringLiteral("\"trace\": \"ERROR\", \"message\":\" Run Task with path: /nonexistent/tool threw an exception: ")))
        << log[0].toStdString();
}
