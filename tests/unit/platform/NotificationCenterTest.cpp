#include "platform/NotificationCenter.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

using platform::Notification;
using platform::NotificationCenter;

TEST(NotificationCenter, DeliversSynchronouslyInRegistrationOrderToObserversOfThatName)
{
    NotificationCenter center;
    QStringList calls;
    center.addObserver(QStringLiteral("A"), [&](const Notification &n) { calls << "first:" + n.object.toString(); });
    center.addObserver(QStringLiteral("B"), [&](const Notification &) { calls << "other"; });
    const auto token = center.addObserver(QStringLiteral("A"), [&](const Notification &) { calls << "second"; });
    center.post(QStringLiteral("A"), QStringLiteral("x"));
    EXPECT_EQ(calls, (QStringList{"first:x", "second"}));

    center.removeObserver(token);
    calls.clear();
    center.post(QStringLiteral("A"));
    EXPECT_EQ(calls, (QStringList{"first:"}));
}

TEST(NotificationCenter, ObserversMayPostAndRegisterWhileBeingCalled)
{
    NotificationCenter center;
    QStringList calls;
    center.addObserver(QStringLiteral("outer"), [&](const Notification &) {
        calls << "outer";
        center.addObserver(QStringLiteral("outer"), [&](const Notification &) { calls << "late"; });
        center.post(QStringLiteral("inner"));
    });
    center.addObserver(QStringLiteral("inner"), [&](const Notification &) { calls << "inner"; });
    center.post(QStringLiteral("outer"));
    EXPECT_EQ(calls, (QStringList{"outer", "inner"}));
}

TEST(NotificationCenter, DeliversOnThePostingThread)
{
    NotificationCenter center;
    std::atomic<QThread *> seen{nullptr};
    center.addObserver(QStringLiteral("N"), [&](const Notification &) { seen = QThread::currentThread(); });
    QThread *worker = QThread::create([&] { center.post(QStringLiteral("N")); });
    worker->start();
    worker->wait();
    EXPECT_EQ(seen.load(), worker);
    delete worker;
}
