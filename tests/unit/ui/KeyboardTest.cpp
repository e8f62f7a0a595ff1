// The keyboard as a person uses it: keys go to whatever has the focus (QTest sends them to the
// application's focus widget), Return presses the focused control, Tab walks in reading order.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "engine/QSInstallFlow.h"
#include "ui/QSErrorController.h"
#include "ui/QSLinkTexts.h"
#include "ui/QSMainController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"

#include <QApplication>
#include <QTest>

namespace {

class KeyboardTest : public ::testing::Test {
protected:
    void open(const QString &language = QStringLiteral("en-US"))
    {
        env.host.rightToLeft = language.startsWith(QLatin1String("he"));
        uitest::useLanguage(env.host, language);
        window = std::make_unique<QSMainController>(QStringList{QStringLiteral("/app/TinyInstaller")});
        window->flow().setTerminate([this] { ++terminations; });
        window->resize(1000, 640);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        uitest::useLanguage(env.host, QStringLiteral("en-US"));
    }

    // The confirmation is a tool window: Qt counts it active while its owner is, so wait for the
    // application's own active window instead.
    static bool activated(QWidget *window)
    {
        window->activateWindow();
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; });
    }
    // Presses a key where the keyboard focus is, in the active window.
    static void press(Qt::Key key)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_NE(target, nullptr) << "no window has the keyboard";
        QTest::keyClick(target, key);
    }
    // Tabs until the focus is on target; false when a whole round did not reach it.
    static bool tabTo(QWidget *target)
    {
        for (int i = 0; i < 20 && QApplication::focusWidget() != target; ++i)
            press(Qt::Key_Tab);
        return QApplication::focusWidget() == target;
    }

    TestEnv env;
    std::unique_ptr<QSMainController> window;
    int terminations = 0;
};

}  // namespace

TEST_F(KeyboardTest, ConfirmationStartsOnNoAndReturnAnswersWithTheFocusedButton)
{
    open();
    uitest::PostRecorder posts({QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT")});

    window->onCloseTap();
    ASSERT_NE(window->alert(), nullptr);
    ASSERT_TRUE(activated(window->alert()));
    EXPECT_EQ(QApplication::focusWidget(), window->alert()->noButton());
    EXPECT_TRUE(window->alert()->noButton()->focusRingShown()) << "nothing shows what Return answers";
    press(Qt::Key_Return);  // a Return pressed without looking keeps the installer
    ASSERT_EQ(posts.posts.size(), 1);
    EXPECT_EQ(posts.posts[0].name, QStringLiteral("HIDE_ALERT"));
    EXPECT_EQ(window->alert(), nullptr);
    EXPECT_EQ(terminations, 0);

    // Tab round the two answers and back to No: Return still keeps the installer.
    ASSERT_TRUE(activated(window.get()));
    press(Qt::Key_Escape);
    ASSERT_NE(window->alert(), nullptr);
    ASSERT_TRUE(activated(window->alert()));
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->alert()->yesButton());
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->alert()->noButton());
    press(Qt::Key_Return);
    ASSERT_EQ(posts.posts.size(), 2);
    EXPECT_EQ(posts.posts[1].name, QStringLiteral("HIDE_ALERT"));

    // Return from the main window while the confirmation is open goes to its focused answer.
    window->onCloseTap();
    ASSERT_TRUE(activated(window.get()));
    press(Qt::Key_Return);
    ASSERT_EQ(posts.posts.size(), 3);
    EXPECT_EQ(posts.posts[2].name, QStringLiteral("HIDE_ALERT"));

    // Tab to Exit, then Return: the person's own choice to leave.
    window->onCloseTap();
    ASSERT_TRUE(activated(window->alert()));
    ASSERT_TRUE(tabTo(window->alert()->yesButton()));
    press(Qt::Key_Return);
    ASSERT_EQ(posts.posts.size(), 4);
    EXPECT_EQ(posts.posts[3].name, QStringLiteral("QUIT_INSTALLATION"));
    EXPECT_TRUE(posts.posts[3].object.toMap().value(QStringLiteral("isUserAction")).toBool());
    EXPECT_EQ(terminations, 1);
}

TEST_F(KeyboardTest, ReturnOnAFocusedLinkOpensItInsteadOfPressingTheScreensButton)
{
    open();
    // Failure screen: Tab from Close to the message's first link ("download ... from our website").
    uitest::PostRecorder quits({QStringLiteral("QUIT_INSTALLATION")});
    window->showGenericError(QStringLiteral("Download Error"));
    QSErrorController *error = window->errorController();
    EXPECT_EQ(QApplication::focusWidget(), error->closeButton());
    ASSERT_TRUE(tabTo(error->mutliLineTextView()));
    press(Qt::Key_Return);
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{QSLinks::onlineDownload()});
    EXPECT_TRUE(quits.posts.isEmpty()) << "Return closed the installer instead of opening the link";
    // Tab goes on to the message's second link, then the subtitle's.
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), error->textView());
    press(Qt::Key_Return);
    EXPECT_EQ(env.host.openedUrls, (QList<QUrl>{QSLinks::onlineDownload(), QSLinks::onlineHelp(), QSLinks::onlineHelp()}));
    // Back on the Close button, Return presses it.
    ASSERT_TRUE(tabTo(error->closeButton()));
    press(Qt::Key_Return);
    EXPECT_EQ(quits.posts.size(), 1);
}

TEST_F(KeyboardTest, WelcomeStartsOnInstallAndTabReadsTheLinksBeforeIt)
{
    open();
    auto *install = qobject_cast<QPushButton *>(window->element("installButton"));
    EXPECT_EQ(QApplication::focusWidget(), install);
    // Reading order: the cross at the top, the licence sentence's two links, then Install below them.
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->element("closeButton"));
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), window->licenceTextView());
    press(Qt::Key_Return);
    press(Qt::Key_Tab);
    press(Qt::Key_Return);
    EXPECT_EQ(env.host.openedUrls, (QList<QUrl>{QSLinks::termsOfService(), QSLinks::privacyStatement()}));
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), install);
    EXPECT_TRUE(window->element("installView")->isVisible());
    press(Qt::Key_Return);
    EXPECT_FALSE(window->element("installView")->isVisible()) << "Return on Install did not start the installation";
}

TEST_F(KeyboardTest, TabWalksTheButtonRowInReadingOrderInBothDirections)
{
    for (const QString &language : {QStringLiteral("en-US"), QStringLiteral("he-IL")}) {
        SCOPED_TRACE(language.toStdString());
        open(language);
        // Already installed: Close and Contact support side by side.
        window->showInfoAlert({{}, QStringLiteral("Already installed"), {}, false, true, true, {}, false, true});
        QSErrorController *error = window->errorController();
        ASSERT_TRUE(tabTo(error->closeButton()));
        press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), error->contactSupportButton());
        const int closeX = error->closeButton()->mapTo(window.get(), QPoint()).x();
        const int supportX = error->contactSupportButton()->mapTo(window.get(), QPoint()).x();
        if (language.startsWith(QLatin1String("he")))
            EXPECT_LT(supportX, closeX) << "right to left: the next button is the one to the left";
        else
            EXPECT_GT(supportX, closeX);
        window.reset();
    }
}
