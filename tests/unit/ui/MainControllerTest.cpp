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
        uitest::useLanguage(env.host, QStringLiteral("en"));
        controller = std::make_unique<QSMainController>(QStringList{QStringLiteral("/app/TinyInstaller")});
        controller->flow().setTerminate([this] { ++terminations; });
        controller->resize(1000, 640);
        controller->show();
    }
    // Whether an element would be on screen when the controller is.
    bool shown(const char *name) const { return controller->element(name)->isVisibleTo(controller.get()); }
    // One character per element of the table below: '1' shown, '0' hidden, '.' not checked.
    void expectVisibility(const char *state, const char *pattern)
    {
        const char *const elements[] = {"installView", "pageView",   "spinnerView",   "progressView", "progressStatus",
                                        "errorView",   "closeButton", "installButton", "launchButton"};
        for (int i = 0; i < 9; ++i)
            EXPECT_TRUE(pattern[i] == '.' || shown(elements[i]) == (pattern[i] == '1')) << state << ": " << elements[i];
    }

    TestEnv env;
    std::unique_ptr<QSMainController> controller;
    int terminations = 0;
};

}  // namespace

TEST_F(MainControllerTest, StartIsRecordedEveryStateShowsItsElementsAndAnExitOnCloseErrorQuitsAtOnce)
{
    const QStringList log = env.logLines();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[0].contains(QStringLiteral("\"message\":\" _isLaunchedfromDrive:false\"")));
    EXPECT_TRUE(log[1].contains(QStringLiteral("\"message\":\" Show Welcome screen\"")));
    for (const char *field : {"\"trace\": \"EVT\"", "\"EVT\":\"Start\"", "\"TRG\":\"WWW\"", "\"SR\":\"1440x900\""})
        EXPECT_TRUE(log[2].contains(QLatin1String(field))) << field;
    // installView, pageView, spinnerView, progressView, progressStatus, errorView, closeButton, installButton, launchButton
    expectVisibility("welcome", "100000110");
    controller->showState(QSScreenState::Connecting);
    expectVisibility("connecting", "001100...");
    controller->showState(QSScreenState::Downloading);
    expectVisibility("downloading", "0101101..");
    EXPECT_FALSE(controller->element("installButton")->isEnabled());
    controller->showState(QSScreenState::DownloadDone);
    expectVisibility("done", "...00...0");
    controller->updateLauchButtons();
    expectVisibility("finished", "...01..01");
    EXPECT_EQ(static_cast<QPushButton *>(controller->element("launchButton"))->text(), QStringLiteral("Get started"));
    EXPECT_EQ(controller->primaryButton(), controller->element("launchButton"));

    controller->showInfoAlert({{}, QStringLiteral("No internet connection"), {}, true, false, false, {}, false, false});
    EXPECT_FALSE(controller->closeWithoutCheck());
    EXPECT_EQ(controller->primaryButton(), controller->errorController()->retryButton());
    controller->showGenericError(QStringLiteral("Download Error"));
    expectVisibility("error", "0000011..");
    EXPECT_EQ(controller->primaryButton(), controller->errorController()->closeButton());
    // That screen ends the installer at the next quit request (here the window's close), without asking.
    uitest::PostRecorder quits({QStringLiteral("QUIT_INSTALLATION")});
    QCloseEvent close;
    QCoreApplication::sendEvent(controller.get(), &close);
    EXPECT_EQ(controller->alert(), nullptr);
    ASSERT_EQ(quits.posts.size(), 1);
    EXPECT_FALSE(quits.posts[0].object.isValid());  // the run log is kept
    EXPECT_EQ(terminations, 1);
}

TEST_F(MainControllerTest, QuitConfirmationIsNeverStackedAndAsksAgainAfterNo)
{
    controller->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.get()));
    EXPECT_EQ(controller->primaryButton(), controller->element("installButton"));
    uitest::PostRecorder posts({QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT")});
    QTest::keyClick(controller.get(), Qt::Key_Escape);  // asks to quit, as the close control does
    QSAlertController *first = controller->alert();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
    // For the window system a child window of the installer's (transient), centred over it.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
    EXPECT_EQ(first->windowHandle()->transientParent(), controller->windowHandle());
    EXPECT_LE((first->frameGeometry().center() - controller->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(controller->primaryButton(), nullptr) << "Return must not reach the window behind the confirmation";
    controller->onCloseTap();
    EXPECT_EQ(controller->alert(), first);
    controller->onInstallTap();  // does nothing while the confirmation is open
    EXPECT_TRUE(shown("installView"));

    controller->activateWindow();
    QTest::keyClick(controller.get(), Qt::Key_Escape);  // answers No
    ASSERT_EQ(posts.posts.size(), 1);
    EXPECT_TRUE(posts.posts[0].name == "HIDE_ALERT" && !posts.posts[0].object.isValid());
    EXPECT_EQ(controller->alert(), nullptr);
    QCloseEvent close;  // the window's close asks as the close control does; the close is turned down
    QCoreApplication::sendEvent(controller.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    ASSERT_NE(controller->alert(), nullptr);
    // Closing it from the window system (a spontaneous close event) answers No as well.
    QCloseEvent fromWindowSystem;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowSystem);
    QCoreApplication::instance()->notify(controller->alert(), &fromWindowSystem);
    EXPECT_FALSE(fromWindowSystem.isAccepted());
    EXPECT_EQ(controller->alert(), nullptr);
    EXPECT_EQ(posts.posts.size(), 2);
    EXPECT_EQ(terminations, 0);  // Yes is answered with the keyboard in KeyboardTest

    // An owner the window system has no window for (nothing to be transient for): shown all the same.
    QWidget unshown;
    QSAlertController orphan(&unshown);
    orphan.showWindow(nullptr, QStringLiteral("Quit?"), QStringLiteral("Sure?"), QStringLiteral("A"), QStringLiteral("B"));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&orphan));
}

TEST_F(MainControllerTest, LinksAndCommandsOpenTheirPages)
{
    const auto links = controller->licenceTextView()->hyperlinks();
    ASSERT_EQ(links.size(), 2);
    EXPECT_TRUE(links[0].url == QSLinks::termsOfService() && links[1].url == QSLinks::privacyStatement());

    auto &center = platform::NotificationCenter::defaultCenter();
    center.post(QStringLiteral("OPEN_EULA"));
    ASSERT_NE(controller->eula(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->eula()));
    EXPECT_EQ(controller->eula()->windowHandle()->transientParent(), controller->windowHandle());

    center.post(QStringLiteral("OPEN_PRIVACY_POLICY_LINK"));
    center.post(QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"));
    const QUrl privacy(QStringLiteral("https://www.brightmoor.example/privacy"
                                      "?page=privacypolicy&country=US&language=en&locale=en-US&os=linux"));
    EXPECT_EQ(env.host.openedUrls, (QList<QUrl>{privacy, QSLinks::supportRequest()}));
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Language: en-US (en / US)")));
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
