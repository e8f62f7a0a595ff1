#include "TestEnv.h"
#include "UiTestSupport.h"

#include "config/QSConfig.h"
#include "engine/QSInstallFlow.h"
#include "ui/QSAlertController.h"
#include "ui/QSErrorController.h"
#include "ui/QSEula.h"
#include "ui/QSLaunchArguments.h"
#include "ui/QSLinkTexts.h"
#include "ui/QSMainController.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace {

struct Visible {
    const char *element;
    bool shown;
};

// Whether an element would be on screen when the controller is.
bool shown(const QSMainController &controller, const char *name)
{
    QWidget *widget = controller.element(name);
    return widget && widget->isVisibleTo(const_cast<QSMainController *>(&controller));
}

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
    void TearDown() override { controller.reset(); }

    void expectVisibility(const QList<Visible> &expected, const char *state)
    {
        for (const Visible &v : expected)
            EXPECT_EQ(shown(*controller, v.element), v.shown) << state << ": " << v.element;
    }

    TestEnv env;
    std::unique_ptr<QSMainController> controller;
    int terminations = 0;
};

}  // namespace

TEST_F(MainControllerTest, EveryStateShowsItsElements)
{
    expectVisibility({{"installView", true}, {"pageView", false}, {"spinnerView", false}, {"progressView", false},
                      {"progressStatus", false}, {"errorView", false}, {"closeButton", true},
                      {"installButton", true}, {"launchButton", false}},
                     "welcome");
    controller->showState(QSScreenState::Connecting);
    expectVisibility({{"installView", false}, {"pageView", false}, {"spinnerView", true}, {"progressView", true},
                      {"progressStatus", false}, {"errorView", false}},
                     "connecting");
    controller->showState(QSScreenState::Downloading);
    expectVisibility({{"installView", false}, {"pageView", true}, {"spinnerView", false}, {"progressView", true},
                      {"progressStatus", true}, {"errorView", false}, {"closeButton", true}},
                     "downloading");
    EXPECT_FALSE(controller->element("installButton")->isEnabled());
    controller->showState(QSScreenState::DownloadDone);
    expectVisibility({{"progressView", false}, {"progressStatus", false}, {"launchButton", false}}, "done");
    controller->updateLauchButtons();
    expectVisibility({{"launchButton", true}, {"progressStatus", true}, {"progressView", false},
                      {"installButton", false}},
                     "finished");
    EXPECT_EQ(static_cast<QPushButton *>(controller->element("launchButton"))->text(), QStringLiteral("Get started"));
    EXPECT_EQ(controller->primaryButton(), controller->element("launchButton"));
    uitest::saveScreenshot(controller.get(), QStringLiteral("main-finished"));

    controller->showGenericError(QStringLiteral("Download Error"));
    expectVisibility({{"installView", false}, {"pageView", false}, {"spinnerView", false}, {"progressView", false},
                      {"progressStatus", false}, {"errorView", true}, {"closeButton", true}},
                     "error");
    uitest::saveScreenshot(controller.get(), QStringLiteral("main-installation-failed"));
}

TEST_F(MainControllerTest, ErrorScreensSetTheirButtonsAndExitOnClose)
{
    QSInfoAlert offline;
    offline.message = QSScreenText::plain(QStringLiteral("Please try later"));
    offline.title = QStringLiteral("No internet connection");
    offline.iconName = QStringLiteral("no_internet");
    offline.retry = true;
    offline.subTitle = QSScreenText::empty();
    controller->showInfoAlert(offline);
    EXPECT_FALSE(controller->closeWithoutCheck());
    EXPECT_EQ(controller->primaryButton(), controller->errorController()->retryButton());
    uitest::saveScreenshot(controller.get(), QStringLiteral("main-no-internet"));

    controller->showGenericError(QStringLiteral("Config error"));
    EXPECT_TRUE(controller->closeWithoutCheck());
    EXPECT_EQ(controller->primaryButton(), controller->errorController()->closeButton());
    EXPECT_TRUE(controller->errorController()->contactSupportButton()->isVisibleTo(controller.get()));
    EXPECT_FALSE(controller->errorController()->retryButton()->isVisibleTo(controller.get()));
}

TEST_F(MainControllerTest, QuitConfirmationIsNeverStackedAndAsksAgainAfterNo)
{
    uitest::PostRecorder quits({QStringLiteral("QUIT_INSTALLATION")});
    controller->onCloseTap();
    QSAlertController *first = controller->alert();
    ASSERT_NE(first, nullptr);
    controller->onCloseTap();
    EXPECT_EQ(controller->alert(), first);
    // Install does nothing while the confirmation is open.
    controller->onInstallTap();
    EXPECT_TRUE(shown(*controller, "installView"));
    uitest::saveScreenshot(first, QStringLiteral("quit-confirmation"));

    first->onNoButtonClick();
    EXPECT_EQ(controller->alert(), nullptr);
    controller->onCloseTap();
    ASSERT_NE(controller->alert(), nullptr);
    EXPECT_TRUE(quits.posts.isEmpty());

    controller->alert()->onYesButtonClick();
    ASSERT_EQ(quits.posts.size(), 1);
    EXPECT_TRUE(quits.posts[0].object.toMap().value(QStringLiteral("isUserAction")).toBool());
    EXPECT_EQ(terminations, 1);
}

TEST_F(MainControllerTest, AfterAnExitOnCloseErrorAQuitRequestEndsAtOnce)
{
    uitest::PostRecorder quits({QStringLiteral("QUIT_INSTALLATION")});
    controller->showGenericError(QStringLiteral("Extract error"));
    controller->onCloseTap();
    EXPECT_EQ(controller->alert(), nullptr);
    ASSERT_EQ(quits.posts.size(), 1);
    EXPECT_FALSE(quits.posts[0].object.isValid());
    EXPECT_EQ(terminations, 1);
}

TEST_F(MainControllerTest, StartRecordsTheWelcomeScreenAndTheStartEvent)
{
    const QStringList log = env.logLines();
    ASSERT_GE(log.size(), 3);
    EXPECT_TRUE(log[0].contains(QStringLiteral("\"message\":\" _isLaunchedfromDrive:false\"")));
    EXPECT_TRUE(log[1].contains(QStringLiteral("\"message\":\" Show Welcome screen\"")));
    EXPECT_TRUE(log[2].contains(QStringLiteral("\"trace\": \"EVT\"")));
    EXPECT_TRUE(log[2].contains(QStringLiteral("\"EVT\":\"Start\"")));
    EXPECT_TRUE(log[2].contains(QStringLiteral("\"TRG\":\"WWW\"")));
    EXPECT_TRUE(log[2].contains(QStringLiteral("\"SR\":\"1440x900\"")));
}

TEST_F(MainControllerTest, CommandNotificationsOpenTheLicenceAndThePrivacyPage)
{
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("OPEN_EULA"));
    QSEula *first = controller->eula();
    ASSERT_NE(first, nullptr);
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("OPEN_EULA"));
    EXPECT_NE(controller->eula(), first) << "a new licence window each time";

    platform::NotificationCenter::defaultCenter().post(QStringLiteral("OPEN_PRIVACY_POLICY_LINK"));
    ASSERT_EQ(env.host.openedUrls.size(), 1);
    const QUrl page = env.host.openedUrls[0];
    EXPECT_EQ(page.toString(QUrl::RemoveQuery), QStringLiteral("https://www.brightmoor.example/privacy"));
    EXPECT_EQ(page.query(), QStringLiteral("page=privacypolicy&country=US&language=en&locale=en-US&os=linux"));
    EXPECT_TRUE(env.consoleLines.contains(QStringLiteral("Language: en-US (en / US)")));

    platform::NotificationCenter::defaultCenter().post(QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"));
    ASSERT_EQ(env.host.openedUrls.size(), 2);
    EXPECT_EQ(env.host.openedUrls[1], QSLinks::supportRequest());
}

TEST_F(MainControllerTest, LicenceSentenceLinksOpenTheirPages)
{
    HyperlinkTextField *sentence = controller->licenceTextView();
    const auto links = sentence->hyperlinks();
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[0].url, QSLinks::termsOfService());
    EXPECT_EQ(links[1].url, QSLinks::privacyStatement());
}

TEST(QSLaunchArguments, ScanFollowsTheArgumentOrder)
{
    struct Case {
        QStringList arguments;
        bool drive;
        const char *target;
        const char *data;
    };
    const QList<Case> cases = {
        {{"/app"}, false, "WWW", ""},
        {{"/app", "launched-from-drive"}, true, "QSINST", ""},
        {{"/app", "--installSilent", "launched-from-drive"}, true, "QSINST", "Install"},
        {{"/app", "launched-from-drive", "--updateSilent"}, true, "QSTI", "Update"},
        {{"/app", "--InstallSilent", "qsd://crashInfo"}, false, "WWW", ""},
    };
    for (const Case &c : cases) {
        const QSLaunchArguments scanned = QSLaunchArguments::scan(c.arguments);
        EXPECT_EQ(scanned.launchedFromDrive, c.drive) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(scanned.target, QString::fromLatin1(c.target));
        EXPECT_EQ(scanned.data, QString::fromLatin1(c.data));
        EXPECT_FALSE(scanned.data.isNull());
    }
}

TEST_F(MainControllerTest, KeysPressThePrimaryButtonAndAnswerTheConfirmation)
{
    controller->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.get()));
    EXPECT_EQ(controller->primaryButton(), controller->element("installButton"));

    uitest::PostRecorder posts({QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT")});
    QTest::keyClick(controller.get(), Qt::Key_Escape);
    ASSERT_NE(controller->alert(), nullptr);
    EXPECT_EQ(controller->primaryButton(), nullptr) << "Return must not reach the window behind the confirmation";
    controller->activateWindow();
    QTest::keyClick(controller.get(), Qt::Key_Escape);
    ASSERT_EQ(posts.posts.size(), 1);
    EXPECT_EQ(posts.posts[0].name, QStringLiteral("HIDE_ALERT"));
    EXPECT_EQ(controller->alert(), nullptr);

    QTest::keyClick(controller.get(), Qt::Key_Escape);
    ASSERT_NE(controller->alert(), nullptr);
    controller->activateWindow();
    QTest::keyClick(controller.get(), Qt::Key_Return);
    ASSERT_EQ(posts.posts.size(), 2);
    EXPECT_EQ(posts.posts[1].name, QStringLiteral("QUIT_INSTALLATION"));
    EXPECT_TRUE(posts.posts[1].object.toMap().value(QStringLiteral("isUserAction")).toBool());
}
