#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSErrorController.h"
#include "ui/QSFonts.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSImageView.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QUrl kHelpUrl(QStringLiteral("https://help.example/corvala"));

QSAttributedString plain(const QString &text)
{
    return QSAttributedString(text, QSFonts::font(QStringLiteral("CommonSans-Regular"), 16), Qt::black);
}

QSAttributedString withLink(const QString &before, const QString &link)
{
    QSAttributedString text = plain(before);
    text.appendLink(link, kHelpUrl, QSFonts::font(QStringLiteral("CommonSans-Regular"), 16), Qt::black, Qt::black);
    return text;
}

struct ScreenCase {
    const char *name;
    bool retry, close, contactSupport, isURL;
    enum Subtitle { None, Empty, Linked } subtitle;
};

void PrintTo(const ScreenCase &c, std::ostream *out)
{
    *out << c.name;
}

class ErrorScreen : public ::testing::TestWithParam<ScreenCase> {
protected:
    bool shown(QWidget *w) const { return w->isVisibleTo(&controller); }
    TestEnv env;
    QSErrorController controller;
};

TEST_P(ErrorScreen, ShowsExactlyTheButtonsAndViewsTheRecordAsksFor)
{
    const ScreenCase &c = GetParam();
    QSErrorObject error;
    error.title = QStringLiteral("Title");
    error.message = c.isURL ? withLink(QStringLiteral("Try "), QStringLiteral("this")) : plain(QStringLiteral("Message"));
    error.icon = QSImage::named(QStringLiteral("no_internet"));
    error.withRetry = c.retry;
    error.withClose = c.close;
    error.withContactSupport = c.contactSupport;
    error.isURL = c.isURL;
    if (c.subtitle == ScreenCase::Empty)
        error.info = QSAttributedString();
    else if (c.subtitle == ScreenCase::Linked)
        error.info = withLink(QStringLiteral("Need help? "), QStringLiteral("Help"));
    controller.setErrorObject(error);

    EXPECT_EQ(shown(controller.retryButton()), c.retry);
    EXPECT_EQ(shown(controller.closeButton()), c.close);
    EXPECT_EQ(shown(controller.contactSupportButton()), c.contactSupport);
    EXPECT_EQ(shown(controller.mutliLineTextView()), c.isURL);
    EXPECT_EQ(shown(controller.errorMessage()), !c.isURL);
    EXPECT_EQ(shown(controller.textView()), c.subtitle != ScreenCase::None);
    EXPECT_FALSE(shown(controller.infoText()));
    EXPECT_TRUE(controller.errorIcon()->hasImage());
    EXPECT_TRUE(controller.errorTitle()->text().contains(QLatin1String("Title")));
}

INSTANTIATE_TEST_SUITE_P(
    Records, ErrorScreen,
    ::testing::Values(ScreenCase{"NoInternet", true, false, false, false, ScreenCase::Empty},
                      ScreenCase{"AlreadyInstalled", false, true, true, false, ScreenCase::Linked},
                      ScreenCase{"InstallationFailed", false, true, true, true, ScreenCase::Linked},
                      ScreenCase{"NoButtons", false, false, false, false, ScreenCase::None},
                      ScreenCase{"AllButtons", true, true, true, true, ScreenCase::None}),
    [](const auto &param) { return std::string(param.param.name); });

TEST(ErrorScreenSetUp, ShowsOnlyRetryBeforeAnyRecord)
{
    TestEnv env;
    QSErrorController controller;
    EXPECT_TRUE(controller.retryButton()->isVisibleTo(&controller));
    EXPECT_FALSE(controller.closeButton()->isVisibleTo(&controller));
    EXPECT_FALSE(controller.contactSupportButton()->isVisibleTo(&controller));
    // Background from the bundle setting.
    EXPECT_EQ(controller.palette().color(QPalette::Window), QColor(0xF7, 0xF7, 0xF9));
}

TEST(ErrorScreenSetUp, ButtonsCarryTheirLocalisedTitlesAndLook)
{
    TestEnv env;
    uitest::useLanguage(env.host, QStringLiteral("en-US"));
    QSErrorController controller;
    EXPECT_EQ(controller.retryButton()->text(), QStringLiteral("Try again"));
    EXPECT_EQ(controller.closeButton()->text(), QStringLiteral("Close"));
    EXPECT_EQ(controller.contactSupportButton()->text(), QStringLiteral("Contact support"));
    EXPECT_EQ(controller.contactSupportButton()->layerBackgroundColor(), QColor(0xFF, 0xF0, 0xF0));
    EXPECT_EQ(controller.contactSupportButton()->cornerRadius(), 25);
    EXPECT_EQ(controller.closeButton()->layerBackgroundColor(), QColor(0x2F, 0x30, 0x34));
    EXPECT_EQ(controller.closeButton()->titleColor(), QColor(Qt::white));
}

TEST(ErrorScreenButtons, PostTheirNotificationsWithoutObjectAndLeaveTheScreen)
{
    TestEnv env;
    QSErrorController controller;
    QSErrorObject error;
    error.message = plain(QStringLiteral("Message"));
    error.withRetry = error.withClose = error.withContactSupport = true;
    controller.setErrorObject(error);
    controller.resize(1000, 560);
    controller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller));

    uitest::PostRecorder recorder({QStringLiteral("START_INSTALLATION"), QStringLiteral("QUIT_INSTALLATION"),
                                   QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"), QStringLiteral("HIDE_ALERT")});
    QTest::mouseClick(controller.retryButton(), Qt::LeftButton);
    QTest::mouseClick(controller.closeButton(), Qt::LeftButton);
    QTest::mouseClick(controller.contactSupportButton(), Qt::LeftButton);

    ASSERT_EQ(recorder.posts.size(), 3);
    EXPECT_EQ(recorder.posts[0].name, QStringLiteral("START_INSTALLATION"));
    EXPECT_EQ(recorder.posts[1].name, QStringLiteral("QUIT_INSTALLATION"));
    EXPECT_EQ(recorder.posts[2].name, QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"));
    for (const auto &post : recorder.posts)
        EXPECT_FALSE(post.object.isValid()) << post.name.toStdString();
    EXPECT_TRUE(controller.isVisible());
}

TEST(ErrorScreenLinks, ALinkInTheSubtitleOpensItsPage)
{
    TestEnv env;
    QSErrorController controller;
    QSErrorObject error;
    error.message = plain(QStringLiteral("Message"));
    error.info = QSAttributedString();
    error.info->appendLink(QStringLiteral("Visit our help centre"), kHelpUrl,
                           QSFonts::font(QStringLiteral("CommonSans-Regular"), 12), Qt::black, Qt::black);
    controller.setErrorObject(error);
    controller.resize(1000, 560);
    controller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller));

    HyperlinkTextField *subtitle = controller.textView();
    QTest::mouseClick(subtitle, Qt::LeftButton, {}, subtitle->rect().center());
    ASSERT_EQ(env.host.openedUrls.size(), 1);
    EXPECT_EQ(env.host.openedUrls.first(), kHelpUrl);
}

TEST(ErrorScreenRecords, ALaterRecordReplacesWhatAnEarlierOneShowed)
{
    TestEnv env;
    QSErrorController controller;
    QSErrorObject first;
    first.title = QStringLiteral("First");
    first.message = withLink(QStringLiteral("Linked "), QStringLiteral("message"));
    first.isURL = true;
    first.info = plain(QStringLiteral("Subtitle"));
    first.icon = QSImage::named(QStringLiteral("no_space"));
    controller.setErrorObject(first);

    QSErrorObject second;
    second.title = QStringLiteral("Second");
    second.message = plain(QStringLiteral("Plain message"));
    controller.setErrorObject(second);

    EXPECT_FALSE(controller.textView()->isVisibleTo(&controller));
    EXPECT_FALSE(controller.mutliLineTextView()->isVisibleTo(&controller));
    EXPECT_EQ(controller.errorMessage()->attributedText().string(), QStringLiteral("Plain message"));
    EXPECT_FALSE(controller.errorIcon()->hasImage());
    EXPECT_FALSE(controller.errorTitle()->text().contains(QLatin1String("First")));
}

}  // namespace
