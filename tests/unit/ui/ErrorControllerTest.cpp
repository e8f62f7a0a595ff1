#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/QSErrorController.h"
#include "ui/QSFonts.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSImageView.h"

#include <QLabel>
#include <QTest>

static const QUrl kHelpUrl(QStringLiteral("https://help.example/corvala"));

static QSAttributedString text(const QString &plain, const QString &link = {})
{
    const QFont font = QSFonts::font(QStringLiteral("CommonSans-Regular"), 16);
    QSAttributedString result(plain, font, Qt::black);
    if (!link.isEmpty())
        result.appendLink(link, kHelpUrl, font, Qt::black, Qt::black);
    return result;
}

// One screen takes the records one after another, so each must also undo what the one before showed.
TEST(ErrorScreen, ShowsExactlyTheButtonsEachRecordAsksForAndTheyPostTheirNotifications)
{
    TestEnv env;
    const QSAttributedString linked = text("Need help? ", "Help");
    const QList<QSErrorObject> records = {
        // title, message, icon, retry, close, contact support, message with links, subtitle
        {"Installation failed", text("Try ", "this"), QSImage::named("install_failed_block_img"), false, true, true, true,
         linked},
        {"No internet", text("Message"), QSImage::named("no_internet"), true, false, false, false, QSAttributedString()},
        {"Already installed", text("Message"), QSImage::named("alreadyInstalled"), false, true, true, false, linked},
        {"Every button", text("Message"), QSImage(), true, true, true, false, text({}, "Visit our help centre")},
    };
    QSErrorController controller;
    controller.resize(1000, 560);
    controller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller));
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

    // The last record's buttons post their notifications, without an object; its subtitle's link opens its page.
    uitest::PostRecorder recorder({QStringLiteral("START_INSTALLATION"), QStringLiteral("QUIT_INSTALLATION"),
                                   QStringLiteral("SHOW_CONTACT_SUPPORT_BUTTON"), QStringLiteral("HIDE_ALERT")});
    // Held, a button dims its background to alpha 0.7; released, it restores it and acts.
    const QColor background = controller.retryButton()->layerBackgroundColor();
    QTest::mousePress(controller.retryButton(), Qt::LeftButton);
    EXPECT_NEAR(controller.retryButton()->layerBackgroundColor().alphaF(), 0.7, 0.01);
    QTest::mouseRelease(controller.retryButton(), Qt::LeftButton);
    EXPECT_EQ(controller.retryButton()->layerBackgroundColor(), background);
    QTest::mouseClick(controller.closeButton(), Qt::LeftButton);
    QTest::mouseClick(controller.contactSupportButton(), Qt::LeftButton);
    const QStringList expected{"START_INSTALLATION", "QUIT_INSTALLATION", "SHOW_CONTACT_SUPPORT_BUTTON"};
    ASSERT_EQ(recorder.posts.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(recorder.posts[i].name == expected[i] && !recorder.posts[i].object.isValid()) << i;
    QTest::mouseClick(controller.textView(), Qt::LeftButton, {}, controller.textView()->rect().center());
    EXPECT_EQ(env.host.openedUrls, QList<QUrl>{kHelpUrl});
}
