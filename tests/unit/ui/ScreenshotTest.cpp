// Renders the screens into PNG files among the build's test artifacts, for people to look at.
// Each test still checks that its screen lays its texts out without clipping them.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "platform/Localization.h"
#include "ui/QSAlertController.h"
#include "ui/QSColor.h"
#include "ui/QSErrorController.h"
#include "ui/QSEula.h"
#include "ui/QSFonts.h"
#include "ui/QSPageController.h"
#include "ui/QSTextFormat.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSButton.h"
#include "ui/widgets/QSImageView.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QUrl kDownloadPage(QStringLiteral("https://www.brightmoor.example/corvala/download"));
const QUrl kHelpPage(QStringLiteral("https://www.brightmoor.example/corvala/help"));

QSAttributedString visitOnlineSite()
{
    const QColor dark = QSColor::hex(QStringLiteral("#2F3034"));
    QSAttributedString text(platform::localizedString("ContactSupportText"),
                            QSFonts::font(QStringLiteral("CommonSans-Regular"), 12), dark);
    text.appendLink(platform::localizedString("ContactSupportText1"), kHelpPage,
                    QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 12), dark, Qt::black);
    text.setAlignment(QSTextAlignment::Center);
    return text;
}

QSAttributedString installationFailedMessage()
{
    const QColor mid = QSColor::hex(QStringLiteral("#6C7078"));
    const QFont light = QSFonts::font(QStringLiteral("CommonSans-Light"), 16);
    QSAttributedString text(platform::localizedString("MessageInstallationFailedDescription"), light, mid);
    text.appendLink(platform::localizedString("MessageInstallationFailedDescription1"), kDownloadPage, light, mid, mid);
    text.appendPlain(platform::localizedString("MessageInstallationFailedDescription2"), light, mid);
    text.appendLink(platform::localizedString("MessageInstallationFailedClickHere"), kHelpPage,
                    QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 16), mid, Qt::black);
    text.appendPlain(platform::localizedString("MessageInstallationFailedDescription3"), light, mid);
    text.setAlignment(QSTextAlignment::Center);
    return text;
}

// A label shows its whole text when the height it got is at least what its width needs.
void expectUnclipped(QLabel *label)
{
    if (!label->isVisible() || label->text().isEmpty())
        return;
    const int needed = label->hasHeightForWidth() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    EXPECT_GE(label->height(), needed) << label->objectName().toStdString();
    EXPECT_GE(label->width(), qMin(label->minimumSizeHint().width(), label->sizeHint().width()))
        << label->objectName().toStdString();
}

void expectUnclippedButtons(QWidget *screen)
{
    for (QSButton *button : screen->findChildren<QSButton *>()) {
        if (button->isVisible()) {
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
        }
    }
}

class Screens : public ::testing::Test {
protected:
    Screens() { uitest::useLanguage(env.host, QStringLiteral("en-US")); }
    ~Screens() override { uitest::useLanguage(env.host, QStringLiteral("en-US")); }

    QSErrorObject installationFailed()
    {
        QSErrorObject error;
        error.title = platform::localizedString("MessageInstallationFailed");
        error.message = installationFailedMessage();
        error.icon = QSImage::named(QStringLiteral("install_failed_block_img"));
        error.withClose = error.withContactSupport = true;
        error.info = visitOnlineSite();
        error.isURL = true;
        return error;
    }

    void shoot(QSErrorController &controller, const QString &name)
    {
        controller.resize(1000, 560);
        controller.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&controller));
        for (QLabel *label : controller.findChildren<QLabel *>())
            expectUnclipped(label);
        expectUnclippedButtons(&controller);
        uitest::saveScreenshot(&controller, name);
    }

    TestEnv env;
};

TEST_F(Screens, ErrorScreenInstallationFailed)
{
    QSErrorController controller;
    controller.setErrorObject(installationFailed());
    shoot(controller, QStringLiteral("error_installation_failed"));
}

TEST_F(Screens, ErrorScreenAlreadyInstalledInGerman)
{
    uitest::useLanguage(env.host, QStringLiteral("de-DE"));
    QSErrorController controller;
    QSErrorObject error;
    error.title = platform::localizedString("QSAlreadyInstalledTitle");
    error.message = QSAttributedString(
        replacingPlaceholder(platform::localizedString("QSAlreadyInstalledMessage"), QStringLiteral("Corvala")),
        QSFonts::font(QStringLiteral("CommonSans-Regular"), 16), QSColor::hex(QStringLiteral("#6C7078")));
    error.icon = QSImage::named(QStringLiteral("alreadyInstalled"));
    error.withClose = error.withContactSupport = true;
    error.info = visitOnlineSite();
    controller.setErrorObject(error);
    shoot(controller, QStringLiteral("error_already_installed_de"));
}

TEST_F(Screens, ErrorScreenNoInternetRightToLeft)
{
    uitest::useLanguage(env.host, QStringLiteral("he-IL"));
    ASSERT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    QSErrorController controller;
    QSErrorObject error;
    error.title = platform::localizedString("MessageNoInternetConnection");
    error.message = QSAttributedString(platform::localizedString("MessagePleaseTryLater"),
                                       QSFonts::font(QStringLiteral("CommonSans-Regular"), 16),
                                       QSColor::hex(QStringLiteral("#6C7078")));
    error.icon = QSImage::named(QStringLiteral("no_internet"));
    error.withRetry = true;
    error.info = QSAttributedString();
    controller.setErrorObject(error);
    shoot(controller, QStringLiteral("error_no_internet_he"));
}

TEST_F(Screens, QuitConfirmation)
{
    QWidget mainWindow;
    mainWindow.resize(1000, 640);
    QSAlertController alert(&mainWindow);
    alert.showWindow(&mainWindow, platform::localizedString("QSQuitTitle"), platform::localizedString("QSQuitMessage"),
                     QStringLiteral("QUIT_INSTALLATION"), QStringLiteral("HIDE_ALERT"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&alert));
    expectUnclipped(alert.title());
    expectUnclipped(alert.message());
    expectUnclippedButtons(&alert);
    // The window is translucent around its shadow; put it on the window background to look at it.
    QImage canvas(alert.size() * alert.devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(alert.devicePixelRatio());
    canvas.fill(QSColor::hex(QStringLiteral("#F7F7F9")));
    QPainter painter(&canvas);
    alert.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    EXPECT_TRUE(canvas.save(uitest::artifactsDirectory() + QStringLiteral("/alert_quit.png")));
}

TEST_F(Screens, LicenceWindow)
{
    QSEula eula;
    eula.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&eula));
    EXPECT_EQ(eula.windowTitle(), QStringLiteral("Brightmoor Licence Agreement"));
    uitest::saveScreenshot(&eula, QStringLiteral("licence_en"));
}

TEST_F(Screens, OnboardingPages)
{
    // Pictures like the configuration's: one per item, in the page's folder.
    QList<QSPageObject> pages;
    const QStringList titles = {QStringLiteral("Everything in one place"), QStringLiteral("Works offline"),
                                QStringLiteral("Private by design")};
    const QList<QColor> colours = {QColor(0x6E, 0x56, 0xCF), QColor(0x30, 0xA4, 0x6C), QColor(0xE5, 0x48, 0x4D)};
    for (int i = 0; i < titles.size(); ++i) {
        QImage picture(640, 400, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, 640, 400);
        gradient.setColorAt(0, colours[i].lighter(170));
        gradient.setColorAt(1, colours[i].lighter(120));
        painter.setBrush(gradient);
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, 640, 400), 36, 36);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(320, 200), 90, 90);
        painter.end();
        const QString file = env.path(QStringLiteral("page%1.png").arg(i + 1));
        ASSERT_TRUE(picture.save(file));
        pages << QSPageObject{titles[i],
                              QStringLiteral("A short description of what this part of Corvala does for you, "
                                             "on two lines at most."),
                              QUrl::fromLocalFile(file)};
    }
    for (int index = 0; index < 3; ++index) {
        // The carousel's area of the main window
        QWidget carousel;
        carousel.resize(1000, 420);
        auto *page = new QSPageController(&carousel);
        page->setIndex(index);
        page->setPages(pages);
        page->setGeometry(carousel.rect());
        QSignalSpy finished(page, &QSPageController::imageLoadFinished);
        carousel.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&carousel));
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == index + 1; }, 5000));
        for (QLabel *label : page->findChildren<QLabel *>())
            expectUnclipped(label);
        // Within a slot the picture, the title and the description follow one another.
        for (int number : {1, 21, 22, 31, 32, 33}) {
            const auto slot = page->itemSlot(number);
            if (!slot.title->isVisible())
                continue;
            EXPECT_LE(slot.image->geometry().bottom(), slot.title->geometry().top()) << number;
            EXPECT_LE(slot.title->geometry().bottom(), slot.description->geometry().top()) << number;
            if (page->contentTextView()->isVisible()) {
                EXPECT_LT(slot.description->mapTo(page, slot.description->rect().bottomLeft()).y(),
                          page->contentTextView()->geometry().top());
            }
        }
        uitest::saveScreenshot(&carousel, QStringLiteral("page_%1").arg(index));
    }
}

TEST_F(Screens, ArtworkOfEveryNamedImage)
{
    const QStringList names = {QStringLiteral("install_failed_block_img"), QStringLiteral("no_internet"),
                               QStringLiteral("no_space"), QStringLiteral("alreadyInstalled"),
                               QStringLiteral("connecting_Spinner"), QStringLiteral("connecting_Spinnerbm")};
    QImage sheet(QSize(160 * int(names.size()), 160) * 2, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(2);
    sheet.fill(QSColor::hex(QStringLiteral("#F7F7F9")));
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < names.size(); ++i) {
        const QSImage image = QSImage::named(names[i]);
        ASSERT_FALSE(image.isNull()) << names[i].toStdString();
        image.paint(painter, QRectF(160 * i + 20, 20, 120, 120));
    }
    painter.end();
    EXPECT_TRUE(sheet.save(uitest::artifactsDirectory() + QStringLiteral("/artwork.png")));
}

}  // namespace
