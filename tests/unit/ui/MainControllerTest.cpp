// The main window's screens as a person meets them, with the keyboard as a person uses it: keys go
// to whatever has the focus (QTest sends them to the application's focus widget), Return presses
// the focused control, Tab walks in reading order.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "engine/QSInstallFlow.h"
#include "ui/QSAlertController.h"
#include "ui/QSErrorController.h"
#include "ui/QSEula.h"
#include "ui/QSLinkTexts.h"
#include "ui/QSMainController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

namespace {

class MainControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        uitest::useLanguage(env.host, QStringLiteral("en-US"));
        window = std::make_unique<QSMainController>(QStringList{QStringLiteral("/app/TinyInstaller")});
        window->flow().setTerminate([this] { ++terminations; });
        window->resize(1000, 640);
        window->show();
        ASSERT_TRUE(activated(window.get()));
    }
    // One character per element of the table below: '1' shown, '0' hidden, '.' not checked.
    void expectVisibility(const char *state, const char *pattern)
    {
        const char *const elements[] = {"installView", "pageView",   "spinnerView",   "progressView", "progressStatus",
                                        "errorView",   "closeButton", "installButton", "launchButton"};
        for (int i = 0; i < 9; ++i)
            EXPECT_TRUE(pattern[i] == '.' || window->element(elements[i])->isVisibleTo(window.get()) == (pattern[i] == '1'))
                << state << ": " << elements[i];
    }
    // The confirmation is a tool window: Qt counts it active while its owner is, so wait for the
    // application's own active window instead.
    static bool activated(QWidget *window)
    {
        window->activateWindow();
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; });
    }
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

TEST_F(MainControllerTest, StartIsRecordedAndEveryStateShowsItsElements)
{
    const QStringList log = env.logLines();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[0].contains(QStringLiteral("\"message\":\" _isLaunchedfromDrive:false\"")));
    EXPECT_TRUE(log[1].contains(QStringLiteral("\"message\":\" Show Welcome screen\"")));
    for (const char *field : {"\"trace\": \"EVT\"", "\"EVT\":\"Start\"", "\"TRG\":\"WWW\"", "\"SR\":\"1440x900\""})
        EXPECT_TRUE(log[2].contains(QLatin1String(field))) << field;
    // installView, pageView, spinnerView, progressView, progressStatus, errorView, closeButton, installButton, launchButton
    expectVisibility("welcome", "100000110");
    window->showState(QSScreenState::Connecting);
    expectVisibility("connecting", "001100...");
    window->showState(QSScreenState::Downloading);
    expectVisibility("downloading", "0101101..");
    EXPECT_FALSE(window->element("installButton")->isEnabled());
    window->showState(QSScreenState::DownloadDone);
    expectVisibility("done", "...00...0");
    window->updateLauchButtons();
    expectVisibility("finished", "...01..01");
    EXPECT_EQ(window->primaryButton(), window->element("launchButton"));
    window->showInfoAlert({{}, QStringLiteral("No internet connection"), {}, true, false, false, {}, false, false});
    EXPECT_FALSE(window->closeWithoutCheck());
    EXPECT_EQ(window->primaryButton(), window->errorController()->retryButton());
}

// Welcome: Tab reads the cross, the licence sentence's two links, then Install; the pages the
// commands open.
TEST_F(MainControllerTest, WelcomeStartsOnInstallTabReadsTheLinksBeforeItAndCommandsOpenTheirPages)
{
    QWidget *install = window->element("installButton");
    EXPECT_EQ(QApplication::focusWidget(), install);
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

    env.host.openedUrls.clear();
    auto &center = platform::NotificationCenter::defaultCenter();
    center.post(QStringLiteral("OPEN_PRIVACY_POLICY_LINK"));
    center.post(QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"));
    const QUrl privacy(QStringLiteral("https://www.brightmoor.example/privacy"
                                      "?page=privacypolicy&country=US&language=en&locale=en-US&os=linux"));
    EXPECT_EQ(env.host.openedUrls, (QList<QUrl>{privacy, QSLinks::supportRequest()}));
    center.post(QStringLiteral("OPEN_EULA"));
    ASSERT_NE(window->eula(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window->eula()));
    EXPECT_EQ(window->eula()->windowHandle()->transientParent(), window->windowHandle());

    ASSERT_TRUE(activated(window.get()));
    ASSERT_TRUE(tabTo(install));
    press(Qt::Key_Return);
    EXPECT_FALSE(window->element("installView")->isVisible()) << "Return on Install did not start the installation";
}

// The confirmation is never stacked, starts on No (a Return pressed without looking keeps the
// installer) and answers No to every other way of closing it; only Exit chosen ends the run.
TEST_F(MainControllerTest, QuitConfirmationStartsOnNoIsNeverStackedAndOnlyExitChosenQuits)
{
    uitest::PostRecorder posts({QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT")});
    press(Qt::Key_Escape);  // asks to quit, as the close control does
    QSAlertController *first = window->alert();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    EXPECT_EQ(first->windowHandle()->transientParent(), window->windowHandle());
    EXPECT_LE((first->frameGeometry().center() - window->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(window->primaryButton(), nullptr) << "Return must not reach the window behind the confirmation";
    window->onCloseTap();
    EXPECT_EQ(window->alert(), first);
    window->onInstallTap();  // does nothing while the confirmation is open
    EXPECT_TRUE(window->element("installView")->isVisibleTo(window.get()));

    ASSERT_TRUE(activated(first));
    EXPECT_EQ(QApplication::focusWidget(), first->noButton());
    EXPECT_TRUE(first->noButton()->focusRingShown()) << "nothing shows what Return answers";
    press(Qt::Key_Return);
    EXPECT_EQ(window->alert(), nullptr);
    // The window's close asks as the close control does; closing the confirmation from the window
    // system (a spontaneous close event) answers No.
    QCloseEvent close;
    QCoreApplication::sendEvent(window.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    ASSERT_NE(window->alert(), nullptr);
    QCloseEvent fromWindowSystem;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowSystem);
    QCoreApplication::instance()->notify(window->alert(), &fromWindowSystem);
    EXPECT_FALSE(fromWindowSystem.isAccepted());
    EXPECT_EQ(window->alert(), nullptr);
    // Return in the main window while the confirmation is open goes to its focused answer.
    window->onCloseTap();
    ASSERT_TRUE(activated(window.get()));
    press(Qt::Key_Return);
    EXPECT_EQ(posts.posts.size(), 3);
    for (const platform::Notification &post : posts.posts)
        EXPECT_TRUE(post.name == "HIDE_ALERT" && !post.object.isValid());
    EXPECT_EQ(terminations, 0);

    window->onCloseTap();
    ASSERT_TRUE(activated(window->alert()));
    ASSERT_TRUE(tabTo(window->alert()->yesButton()));
    press(Qt::Key_Return);
    ASSERT_EQ(posts.posts.size(), 4);
    EXPECT_EQ(posts.posts[3].name, QStringLiteral("QUIT_INSTALLATION"));
    EXPECT_TRUE(posts.posts[3].object.toMap().value(QStringLiteral("isUserAction")).toBool());
    EXPECT_EQ(terminations, 1);

    QWidget unshown;  // an owner the window system has no window for: shown all the same
    QSAlertController orphan(&unshown);
    orphan.showWindow(nullptr, QStringLiteral("Quit?"), QStringLiteral("Sure?"), QStringLiteral("A"), QStringLiteral("B"));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&orphan));
}

// The failure screen: Return on a focused link opens it instead of pressing Close; the next quit
// request ends the installer at once, keeping the run log.
TEST_F(MainControllerTest, OnTheFailureScreenReturnOpensAFocusedLinkAndAQuitEndsAtOnce)
{
    uitest::PostRecorder quits({QStringLiteral("QUIT_INSTALLATION")});
    window->showGenericError(QStringLiteral("Download Error"));
    expectVisibility("error", "0000011..");
    QSErrorController *error = window->errorController();
    EXPECT_EQ(QApplication::focusWidget(), error->closeButton());
    EXPECT_EQ(window->primaryButton(), error->closeButton());
    ASSERT_TRUE(tabTo(error->mutliLineTextView()));
    press(Qt::Key_Return);
    press(Qt::Key_Tab);  // the message's second link, then the subtitle's
    press(Qt::Key_Return);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), error->textView());
    press(Qt::Key_Return);
    EXPECT_EQ(env.host.openedUrls, (QList<QUrl>{QSLinks::onlineDownload(), QSLinks::onlineHelp(), QSLinks::onlineHelp()}));
    EXPECT_TRUE(quits.posts.isEmpty()) << "Return closed the installer instead of opening the link";

    QCloseEvent close;
    QCoreApplication::sendEvent(window.get(), &close);
    EXPECT_EQ(window->alert(), nullptr);
    ASSERT_EQ(quits.posts.size(), 1);
    EXPECT_FALSE(quits.posts[0].object.isValid());  // the run log is kept
    EXPECT_EQ(terminations, 1);
}

TEST(QSLinkTexts, ThePrivacyAddressFollowsAQueryTheBaseAddressAlreadyHas)
{
    TestEnv env;
    const QString ours = QStringLiteral("page=privacypolicy&country=US&language=en&locale=en-US&os=linux");
    const QList<std::pair<QString, QString>> cases = {  // "QSConfigUrl", the address opened
        {"https://www.brightmoor.example/privacy", "https://www.brightmoor.example/privacy?" + ours},
        {"https://www.brightmoor.example/p?brand=qs", "https://www.brightmoor.example/p?brand=qs&" + ours},
        {"https://www.brightmoor.example/p?a=1&b=x%26y", "https://www.brightmoor.example/p?a=1&b=x%26y&" + ours},
        {"https://www.brightmoor.example/p?", "https://www.brightmoor.example/p?" + ours},
    };
    for (const auto &[base, expected] : cases)
        EXPECT_EQ(QSLinkTexts::privacyPolicyUrl(base, "US", "en", "en-US"), QUrl(expected)) << base.toStdString();
}

TEST(QSLaunchArguments, ScanFollowsTheArgumentOrder)
{
    const QList<std::tuple<QStringList, bool, QString, QString>> cases = {
        // arguments, launched from a drive, target, data
        {{"/app"}, false, "WWW", ""},
        {{"/app", "launched-from-drive"}, true, "QSINST", ""},
        {{"/app", "--installSilent", "launched-from-drive"}, true, "QSINST", "Install"},
        {{"/app", "launched-from-drive", "--updateSilent"}, true, "QSTI", "Update"},
        {{"/app", "--InstallSilent", "qsd://crashInfo"}, false, "WWW", ""},
    };
    for (const auto &[arguments, drive, target, data] : cases) {
        const QSLaunchArguments scanned = QSLaunchArguments::scan(arguments);
        EXPECT_EQ(std::tuple(scanned.launchedFromDrive, scanned.target, scanned.data), std::tuple(drive, target, data))
            << arguments.join(' ').toStdString();
        EXPECT_FALSE(scanned.data.isNull());  // an empty "CData", not a missing one
    }
}
