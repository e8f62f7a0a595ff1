#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSAlertController.h"
#include "ui/widgets/QSButton.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

namespace {

// Lets the test deliver a close request as the window system would.
class TestableAlert : public QSAlertController {
public:
    using QSAlertController::closeEvent;
};

class Alert : public ::testing::Test {
protected:
    Alert()
    {
        uitest::useLanguage(env.host, QStringLiteral("en-US"));
        alert = std::make_unique<TestableAlert>();
        alert->showWindow(nullptr, QStringLiteral("Exit the installer?"), QStringLiteral("Not installed yet."),
                         QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT"));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(alert.get()));
    }

    TestEnv env;
    uitest::PostRecorder recorder{{QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT")}};
    std::unique_ptr<TestableAlert> alert;  // made once the language is in place
};

TEST_F(Alert, ShowsItsTextsAndLocalisedButtonsAboveOtherWindows)
{
    EXPECT_EQ(alert->title()->text(), QStringLiteral("Exit the installer?"));
    EXPECT_EQ(alert->message()->text(), QStringLiteral("Not installed yet."));
    EXPECT_EQ(alert->yesButton()->text(), QStringLiteral("Exit"));
    EXPECT_EQ(alert->noButton()->text(), QStringLiteral("No, stay"));
    EXPECT_TRUE(alert->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(alert->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(alert->noButton()->layerBorderWidth(), 1);
    EXPECT_EQ(alert->yesButton()->layerBackgroundColor(), QColor(0x2F, 0x30, 0x34));
}

TEST_F(Alert, YesPostsEveryTimeWithTheUserActionMark)
{
    QTest::mouseClick(alert->yesButton(), Qt::LeftButton);
    QTest::mouseClick(alert->yesButton(), Qt::LeftButton);
    ASSERT_EQ(recorder.posts.size(), 2);
    for (const auto &post : recorder.posts) {
        EXPECT_EQ(post.name, QStringLiteral("QUIT_INSTALLATION"));
        const QVariantMap object = post.object.toMap();
        ASSERT_TRUE(object.contains(QStringLiteral("isUserAction")));
        EXPECT_EQ(object.value(QStringLiteral("isUserAction")), QVariant(true));
    }
    EXPECT_TRUE(alert->isVisible());  // closing is the owner's business
}

TEST_F(Alert, NoPostsItsNotificationWithoutObject)
{
    QTest::mouseClick(alert->noButton(), Qt::LeftButton);
    ASSERT_EQ(recorder.posts.size(), 1);
    EXPECT_EQ(recorder.posts[0].name, QStringLiteral("HIDE_ALERT"));
    EXPECT_FALSE(recorder.posts[0].object.isValid());
    EXPECT_TRUE(alert->isVisible());
}

TEST_F(Alert, ReturnAnswersYesAndEscapeAnswersNo)
{
    QTest::keyClick(alert.get(), Qt::Key_Return);
    QTest::keyClick(alert.get(), Qt::Key_Escape);
    ASSERT_EQ(recorder.posts.size(), 2);
    EXPECT_EQ(recorder.posts[0].name, QStringLiteral("QUIT_INSTALLATION"));
    EXPECT_TRUE(recorder.posts[0].object.toMap().value(QStringLiteral("isUserAction")).toBool());
    EXPECT_EQ(recorder.posts[1].name, QStringLiteral("HIDE_ALERT"));
    EXPECT_TRUE(alert->isVisible());
}

TEST_F(Alert, ClosingFromTheWindowSystemAnswersNoButTheOwnersCloseCloses)
{
    QCloseEvent fromWindowSystem;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowSystem);
    alert->closeEvent(&fromWindowSystem);
    EXPECT_FALSE(fromWindowSystem.isAccepted());
    ASSERT_EQ(recorder.posts.size(), 1);
    EXPECT_EQ(recorder.posts[0].name, QStringLiteral("HIDE_ALERT"));
    EXPECT_TRUE(alert->isVisible());

    alert->close();
    EXPECT_FALSE(alert->isVisible());
    EXPECT_EQ(recorder.posts.size(), 1);
}

}  // namespace
