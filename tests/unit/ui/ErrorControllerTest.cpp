#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSErrorController.h"
#include "ui/QSFonts.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSImageView.h"

#include <QLabel>
#include <QTest>

namespace {

const QUrl kHelpUrl(QStringLiteral("https://help.example/corvala"));

QSAttributedString text(const QString &plain, const QString &link = {})
{
    const QFont font = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    QSAttributedString result(plain, font, Qt::black);
    if (!link.isEmpty())
        result.appendLink(link, kHelpUrl, font, Qt::black, Qt::black);
    return result;
}

}  // namespace

// One screen takes the records one after another, so each must also undo what the one before showed.
TEST(ErrorScreen, ShowsExactlyTheButtonsAndViewsEachRecordAsksFor)
{
    TestEnv env;
    const QSAttributedString linked = text("Need help? ", "Help");
    const QList<QSErrorObject> records = {
        // title, message, icon, retry, close, contact support, message with links, subtitle
        {"Installation failed", text("Try ", "this"), QSImage::named("install_failed_block_img"), false, true, true, true,
         linked},
        {"No internet", text("Message"), QSImage::named("no_internet"), true, false, false, false, QSAttributedString()},
        {"Already installed", text("Message"), QSImage::named("alreadyInstalled"), false, true, true, false, linked},
        {"Every button", text("Try ", "this"), QSImage(), true, true, true, true, std::nullopt},
        {"Nothing", text("Message"), QSImage(), false, false, false, false, std::nullopt},
    };
    QSErrorController controller;
    const auto shown = [&](QWidget *w) { return w->isVisibleTo(&controller); };
    for (const QSErrorObject &error : records) {
        SCOPED_TRACE(error.title.toStdString());
        controller.setErrorObject(error);
        EXPECT_EQ(shown(controller.retryButton()), error.withRetry);
        EXPECT_EQ(shown(controller.closeButton()), error.withClose);
        EXPECT_EQ(shown(controller.contactSupportButton()), error.withContactSupport);
        EXPECT_EQ(shown(controller.mutliLineTextView()), error.isURL);
        EXPECT_EQ(shown(controller.errorMessage()), !error.isURL);
        EXPECT_EQ(shown(controller.textView()), error.info.has_value());
        EXPECT_FALSE(shown(controller.infoText()));
        EXPECT_EQ(controller.errorIcon()->hasImage(), !error.icon.isNull());
        EXPECT_TRUE(controller.errorTitle()->text().contains(error.title));
    }
}

TEST(ErrorScreen, ButtonsPostTheirNotificationsAndTheSubtitleLinkOpensItsPage)
{
    TestEnv env;
    QSErrorController controller;
    controller.setErrorObject({{}, text("Message"), {}, true, true, true, false, text({}, "Visit our help centre")});
    controller.resize(1000, 560);
    controller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller));

    uitest::PostRecorder recorder({QStringLiteral("START_INSTALLATION"), QStringLiteral("QUIT_INSTALLATION"),
                                   QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"), QStringLiteral("HIDE_ALERT")});
    QTest::mouseClick(controller.retryButton(), Qt::LeftButton);
    QTest::mouseClick(controller.closeButton(), Qt::LeftButton);
    QTest::mouseClick(controller.contactSupportButton(), Qt::LeftButton);
    QStringList names;
    for (const auto &post : recorder.posts) {
        names << post.name;
        EXPECT_FALSE(post.object.isValid()) << post.name.toStdString();
    }
    EXPECT_EQ(names, (QStringList{"START_INSTALLATION", "QUIT_INSTALLATION", "SHOW_CONTACT_SUPPORT_BUTTON"}));

    HyperlinkTextField *subtitle = controller.textView();
    QTest::mouseClick(subtitle, Qt::LeftButton, {}, subtitle->rect().center());
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{kHelpUrl});
}
