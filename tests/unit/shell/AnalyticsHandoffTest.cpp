// The analytics queue and the two endpoints, as the three notifications fill them.

#include "shell/AnalyticsHandoff.h"
#include "shell/ShellNames.h"

#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {

void post(const QString &name, const QVariant &object = QVariant())
{
    platform::NotificationCenter::defaultCenter().post(name, object);
}

}  // namespace

TEST(AnalyticsHandoff, QueuesEventTextsInOrderAndIgnoresNotificationsWithoutOne)
{
    shell::AnalyticsHandoff handoff;
    post(shell::kLogAnalytics, QStringLiteral("ignored: not observing yet"));
    handoff.startObserving();
    handoff.startObserving();  // a second call must not double every event
    post(shell::kLogAnalytics, QStringLiteral("first"));
    post(shell::kLogAnalytics);
    post(shell::kLogAnalytics, QString());
    post(shell::kLogAnalytics, QStringLiteral("second"));
    EXPECT_EQ(handoff.queue(), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));

    handoff.stopObserving();
    post(shell::kLogAnalytics, QStringLiteral("after stop"));
    EXPECT_EQ(handoff.queue().size(), 2);
}

TEST(AnalyticsHandoff, EachEndpointKeepsTheLastValueAndClearsWithoutOne)
{
    shell::AnalyticsHandoff handoff;
    handoff.startObserving();
    EXPECT_TRUE(handoff.analyticsUrl().isNull());
    EXPECT_TRUE(handoff.logUploadUrl().isNull());

    post(shell::kChangeAnalyticsUrl, QStringLiteral("http://a.example/1"));
    post(shell::kChangeLogUploadUrl, QStringLiteral("http://l.example/1/"));
    post(shell::kChangeAnalyticsUrl, QStringLiteral("http://a.example/2"));
    EXPECT_EQ(handoff.analyticsUrl(), QStringLiteral("http://a.example/2"));
    EXPECT_EQ(handoff.logUploadUrl(), QStringLiteral("http://l.example/1/"));

    // A configuration without the key posts no object; a JSON null or an empty text is no
    // address either.
    post(shell::kChangeAnalyticsUrl);
    post(shell::kChangeLogUploadUrl, QVariant::fromValue(nullptr));
    EXPECT_TRUE(handoff.analyticsUrl().isNull());
    EXPECT_TRUE(handoff.logUploadUrl().isNull());
    post(shell::kChangeLogUploadUrl, QStringLiteral("http://l.example/2/"));
    post(shell::kChangeLogUploadUrl, QString(""));
    EXPECT_TRUE(handoff.logUploadUrl().isNull());
}

TEST(AnalyticsHandoff, NotificationsFromAnotherThreadAreAppliedOnTheMainThread)
{
    shell::AnalyticsHandoff handoff;
    handoff.startObserving();
    std::thread poster([] {
        post(shell::kLogAnalytics, QStringLiteral("from a worker"));
        post(shell::kChangeAnalyticsUrl, QStringLiteral("http://a.example/worker"));
    });
    poster.join();
    // Nothing is touched from the worker; the main thread applies both when its loop runs.
    EXPECT_TRUE(handoff.queue().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return handoff.queue().size() == 1; }, 2000));
    EXPECT_EQ(handoff.analyticsUrl(), QStringLiteral("http://a.example/worker"));
}
