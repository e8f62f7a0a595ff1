// Termination signals arrive as a Qt signal through the event loop, and the previous
// dispositions come back when the watcher goes.

#include "shell/SignalWatcher.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

void (*currentHandler(int signalNumber))(int)
{
    struct sigaction action {};
    ::sigaction(signalNumber, nullptr, &action);
    return action.sa_handler;
}

}  // namespace

TEST(SignalWatcher, DeliversEachSignalThroughTheLoopAndRestoresTheOldHandlers)
{
    const auto before = currentHandler(SIGHUP);
    {
        shell::SignalWatcher watcher;
        ASSERT_TRUE(watcher.isActive());
        QSignalSpy spy(&watcher, &shell::SignalWatcher::received);
        ::raise(SIGHUP);
        ::raise(SIGTERM);
        ::raise(SIGINT);
        EXPECT_EQ(spy.size(), 0);  // nothing runs inside the signal handler
        EXPECT_TRUE(QTest::qWaitFor([&] { return spy.size() == 3; }, 2000));
        EXPECT_EQ(spy.at(0).first().toInt(), SIGHUP);
        EXPECT_EQ(spy.at(1).first().toInt(), SIGTERM);
        EXPECT_EQ(spy.at(2).first().toInt(), SIGINT);
    }
    EXPECT_EQ(currentHandler(SIGHUP), before);
}
