#include "ui/QSErrorController.h"

#include "ui_QSErrorController.h"

#include "config/QSConfigProvider.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "telemetry/QSNotificationNames.h"
#include "ui/QSStyle.h"

#include <QLayout>

namespace {

QSLinkAppearance linkAppearance(qreal fontSize)
{
    // Links in the dark text colour with an invisible underline.
    return QSLinkAppearance{QSColor::hex(QStringLiteral("#2F3034")), true, QColor(Qt::transparent),
                            QSFonts::font(QStringLiteral("CommonSans-DemiBold"), fontSize)};
}

void styleButton(QSButton *button, const char *titleKey, const QFont &font, const QString &titleColor,
                 qreal radius, const QString &background)
{
    button->setText(platform::localizedString(titleKey));
    button->setTitleAttributes(font, QSColor::hex(titleColor));
    button->setCornerRadius(radius);
    button->setLayerBackgroundColor(QSColor::hex(background));
}

}  // namespace

QSErrorController::QSErrorController(QWidget *parent)
    : QWidget(parent)
    , ui_(std::make_unique<Ui::QSErrorController>())
{
    ui_->setupUi(this);
    awakeFromNib();
}

QSErrorController::~QSErrorController() = default;

void QSErrorController::awakeFromNib()
{
    // The subtitle and the linked message are views of their own that take the place of their
    // layout placeholders.
    textView_ = new HyperlinkTextField(this);
    textView_->setObjectName(QStringLiteral("textView"));
    textView_->setAlignment(Qt::AlignCenter);
    ui_->subtitleLayout->insertWidget(ui_->subtitleLayout->indexOf(ui_->infoText) + 1, textView_);

    mutliLineTextView_ = new HyperlinkTextField(this);
    mutliLineTextView_->setObjectName(QStringLiteral("mutliLineTextView"));
    mutliLineTextView_->setAlignment(Qt::AlignCenter);
    ui_->messageLayout->insertWidget(ui_->messageLayout->indexOf(ui_->errorMessage) + 1, mutliLineTextView_);

    if (const auto background = QSColor::colorWithHex(QSConfigProvider::getStringFromPlist(QStringLiteral("BG_COLOR"))))
        setBackgroundColor(this, *background);

    ui_->messageCard->setBackgroundColor(Qt::white);
    ui_->messageCard->setCornerRadius(14);

    setupTitle();
    setupMessage();
    setupSubTitle();
    setupContactSupport();
    setupCloseButton();
    setupRetryButton();

    connect(ui_->retryButton, &QPushButton::clicked, this, &QSErrorController::onRetryClick);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QSErrorController::onCLoseClick);
    connect(ui_->contactSupportButton, &QPushButton::clicked, this, &QSErrorController::onContactSupportClick);
}

void QSErrorController::setupTitle()
{
    ui_->errorTitle->setFont(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 36));
    setTextColor(ui_->errorTitle, QSColor::hex(QStringLiteral("#2F3034")));
}

void QSErrorController::setupMessage()
{
    ui_->errorMessage->setFont(QSFonts::font(QStringLiteral("CommonSans-Regular"), 16));
    setTextColor(ui_->errorMessage, QSColor::hex(QStringLiteral("#6C7078")));
    ui_->errorMessage->setDrawsBackground(true, Qt::white);
    setTextColor(mutliLineTextView_, QSColor::hex(QStringLiteral("#6C7078")));
    mutliLineTextView_->setFont(ui_->errorMessage->font());
}

void QSErrorController::setupSubTitle()
{
    ui_->infoText->setFont(QSFonts::font(QStringLiteral("CommonSans-Regular"), 12));
    setTextColor(ui_->infoText, QSColor::hex(QStringLiteral("#2F3034")));
    ui_->infoText->setDrawsBackground(true, Qt::white);
    textView_->setFont(ui_->infoText->font());
    setTextColor(textView_, QSColor::hex(QStringLiteral("#2F3034")));
}

void QSErrorController::setupContactSupport()
{
    styleButton(ui_->contactSupportButton, "QSContactSupport", QSFonts::font(QStringLiteral("Common Sans"), 14),
                QStringLiteral("#2F3034"), 25, QStringLiteral("#FFF0F0"));
    showButtons(false, true, true);
}

void QSErrorController::setupCloseButton()
{
    styleButton(ui_->closeButton, "MessageClose", QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 12),
                QStringLiteral("#FFFFFF"), 20, QStringLiteral("#2F3034"));
    showButtons(false, true, false);
}

void QSErrorController::setupRetryButton()
{
    styleButton(ui_->retryButton, "MessageRetry", QSFonts::font(QStringLiteral("Common Sans"), 12),
                QStringLiteral("#FFFFFF"), 20, QStringLiteral("#2F3034"));
    showButtons(true, false, false);
}

void QSErrorController::showButtons(bool retry, bool close, bool contactSupport)
{
    ui_->retryButton->setVisible(retry);
    ui_->closeButton->setVisible(close);
    ui_->contactSupportButton->setVisible(contactSupport);
}

void QSErrorController::setErrorObject(const QSErrorObject &error)
{
    ui_->errorIcon->setImage(error.icon);
    ui_->errorIcon->setVisible(!error.icon.isNull());
    // Screen readers announce the screen as an alert: its title, then its message.
    setAccessibleName(error.title);
    setAccessibleDescription(error.message ? error.message->string() : QString());

    QSAttributedString title(error.title, ui_->errorTitle->font(), QSColor::hex(QStringLiteral("#2F3034")));
    title.setMaximumLineHeight(46);
    title.setAlignment(QSTextAlignment::Center);
    ui_->errorTitle->setText(title.toHtml());
    ui_->errorTitle->setAccessibleName(error.title);

    showButtons(error.withRetry, error.withClose, error.withContactSupport);

    textView_->setLinkAppearance(linkAppearance(12));
    textView_->setAttributedText(error.info.value_or(QSAttributedString()));
    ui_->infoText->hide();
    ui_->infoText->setDrawsBackground(true, Qt::white);
    textView_->setVisible(error.info.has_value());

    // Without a message there is nothing to put in either view: the card goes away.
    ui_->messageCard->setVisible(error.message.has_value());
    const QSAttributedString message = error.message.value_or(QSAttributedString());
    if (error.isURL) {
        mutliLineTextView_->setLinkAppearance(linkAppearance(16));
        mutliLineTextView_->setAttributedText(message);
        ui_->errorMessage->hide();
        mutliLineTextView_->show();
        ui_->errorMessage->setDrawsBackground(true, Qt::white);
    } else {
        mutliLineTextView_->hide();
        ui_->errorMessage->show();
        ui_->errorMessage->setAttributedText(message);
    }

    orderTabStops();

    // The message card holds its own layout: bring it and the screen up to date in one go, so the
    // first frame of a new record is already laid out.
    ui_->messageCard->layout()->activate();
    ui_->messageCard->updateGeometry();
    layout()->activate();
}

void QSErrorController::orderTabStops()
{
    // Tab in reading order: the message's links, the subtitle's link, then the buttons as the row
    // lays them out (the row mirrors for right to left, and so does this order on screen). Qt
    // leaves out a field without links (no focus), so the order is set again with each record.
    QWidget *const stops[] = {mutliLineTextView_, textView_, ui_->retryButton, ui_->closeButton,
                              ui_->contactSupportButton};
    QWidget *previous = nullptr;
    for (QWidget *stop : stops) {
        if (stop->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            setTabOrder(previous, stop);
        previous = stop;
    }
}

void QSErrorController::onRetryClick()
{
    platform::NotificationCenter::defaultCenter().post(QSNotificationNames::kStartInstallation);
}

void QSErrorController::onCLoseClick()
{
    platform::NotificationCenter::defaultCenter().post(QSNotificationNames::kQuitInstallation);
}

void QSErrorController::onContactSupportClick()
{
    platform::NotificationCenter::defaultCenter().post(QSNotificationNames::kShowContactSupportButton);
}

HyperlinkTextField *QSErrorController::errorMessage() const { return ui_->errorMessage; }
HyperlinkTextField *QSErrorController::infoText() const { return ui_->infoText; }
QLabel *QSErrorController::errorTitle() const { return ui_->errorTitle; }
QSImageView *QSErrorController::errorIcon() const { return ui_->errorIcon; }
QSButton *QSErrorController::retryButton() const { return ui_->retryButton; }
QSButton *QSErrorController::closeButton() const { return ui_->closeButton; }
QSButton *QSErrorController::contactSupportButton() const { return ui_->contactSupportButton; }
