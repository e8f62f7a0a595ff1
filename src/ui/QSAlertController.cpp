#include "ui/QSAlertController.h"

#include "ui_QSAlertController.h"

#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "ui/QSColor.h"
#include "ui/QSFonts.h"
#include "telemetry/QSNotificationNames.h"
#include "ui/QSStyle.h"
#include "ui/QSTextDirection.h"
#include "ui/QSWindowEffects.h"
#include "ui/QSWindowPlacement.h"

#include <QCloseEvent>
#include <QGraphicsDropShadowEffect>
#include <QLayout>
#include <QMouseEvent>
#include <QVariantMap>
#include <QWindow>

QSAlertController::QSAlertController(QWidget *owner)
    : QDialog(owner)
    , ui_(std::make_unique<Ui::QSAlertController>())
{
    ui_->setupUi(this);
    windowDidLoad();
}

QSAlertController::~QSAlertController() = default;

void QSAlertController::windowDidLoad()
{
    // Floating above the installer's window (its transient child: the window manager keeps it
    // there, and only there; other applications may still come in front), without a frame of the
    // window system; the transparent margin around the body carries its shadow.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setModal(false);

    if (QSWindowEffects::translucencyAvailable()) {
        setAttribute(Qt::WA_TranslucentBackground);
        auto *shadow = new QGraphicsDropShadowEffect(ui_->view);
        shadow->setBlurRadius(28);
        shadow->setOffset(0, 6);
        shadow->setColor(QColor(0, 0, 0, 56));
        ui_->view->setGraphicsEffect(shadow);
    } else {
        // Nothing would show through the margin: draw the body edge to edge instead.
        layout()->setContentsMargins(0, 0, 0, 0);
        setBackgroundColor(this, Qt::white);
        ui_->view->setBorder(QSColor::hex(QStringLiteral("#C9CBD2")), 1);
        ui_->view->layout()->setContentsMargins(1, 1, 1, 1);  // the header would paint over the border
    }

    setupHeader();
    setupBody();
    setupYesButton();
    setupNoButton();

    connect(ui_->yesButton, &QPushButton::clicked, this, &QSAlertController::onYesButtonClick);
    connect(ui_->noButton, &QPushButton::clicked, this, &QSAlertController::onNoButtonClick);
}

void QSAlertController::setupHeader()
{
    ui_->header->setBackgroundColor(QSColor::hex(QStringLiteral("#F4F0FA")));
    ui_->header->setCornerRadius(4);
    ui_->title->setFont(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 20));
    setTextColor(ui_->title, QSColor::hex(QStringLiteral("#2F3034")));
    setBackgroundColor(ui_->title, QSColor::hex(QStringLiteral("#FFFFFF")));
    ui_->title->setContentsMargins(24, 16, 24, 4);
}

void QSAlertController::setupBody()
{
    ui_->view->setBackgroundColor(Qt::white);
    ui_->message->setFont(QSFonts::font(QStringLiteral("CommonSans-Regular"), 16));
    setTextColor(ui_->message, QSColor::hex(QStringLiteral("#2F3034")));
    setBackgroundColor(ui_->message, Qt::white);
}

void QSAlertController::setupYesButton()
{
    QSButton *button = ui_->yesButton;
    button->setText(platform::localizedString("QSExit"));
    button->setTitleAttributes(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 14), QSColor::hex(QStringLiteral("#FFFFFF")));
    button->setLayerBackgroundColor(QSColor::hex(QStringLiteral("#2F3034")));
    button->setCornerRadius(16);
    button->setLayerBorderWidth(0);
}

void QSAlertController::setupNoButton()
{
    QSButton *button = ui_->noButton;
    button->setText(platform::localizedString("QSNo"));
    button->setTitleAttributes(QSFonts::font(QStringLiteral("CommonSans-DemiBold"), 14), QSColor::hex(QStringLiteral("#000000")));
    button->setLayerBackgroundColor(Qt::white);
    button->setCornerRadius(16);
    button->setLayerBorderColor(QSColor::hex(QStringLiteral("#000000")));
    button->setLayerBorderWidth(1);
}

void QSAlertController::showWindow(QWidget *sender, const QString &title, const QString &message,
                                   const QString &yesNotification, const QString &noNotification)
{
    Q_UNUSED(sender);
    yesNotification_ = yesNotification;
    noNotification_ = noNotification;
    ui_->title->setText(QSTextDirection::forInterface(title));
    ui_->message->setText(QSTextDirection::forInterface(message));
    // The window system's title too: without one, the window would take the executable's name.
    setWindowTitle(title);
    setAccessibleName(title);
    setAccessibleDescription(message);
    ui_->view->setCornerRadius(4);

    adjustSize();
    centreOnScreen();
    // The keyboard starts on the safe answer: a Return pressed without looking keeps the installer.
    // It shows the keyboard ring, so the person sees what Return answers.
    ui_->noButton->setFocus(Qt::OtherFocusReason);
    ui_->noButton->setFocusRingShown(true);
    show();
    // The shadow's band is not part of the window for a compositor that places it.
    if (testAttribute(Qt::WA_TranslucentBackground))
        QSWindowEffects::setVisibleMargins(this, layout()->contentsMargins());
    raise();
    activateWindow();
}

void QSAlertController::centreOnScreen()
{
    // Over the installer's window, whose child window it is for the window system (transient).
    QSWindowPlacement::centreOver(*this, parentWidget());
}

void QSAlertController::onYesButtonClick()
{
    platform::NotificationCenter::defaultCenter().post(yesNotification_,
                                                       QVariantMap{{QSNotificationNames::kIsUserAction, true}});
}

void QSAlertController::onNoButtonClick()
{
    platform::NotificationCenter::defaultCenter().post(noNotification_);
}

void QSAlertController::reject()
{
    onNoButtonClick();
}

void QSAlertController::closeEvent(QCloseEvent *event)
{
    if (event->spontaneous()) {
        event->ignore();
        onNoButtonClick();
        return;
    }
    // QDialog would turn this into reject(), i.e. a second "no" answer; the owner's close closes.
    QWidget::closeEvent(event);
}

void QSAlertController::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    // The window system moves it where it can; elsewhere the window follows the mouse itself.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void QSAlertController::mouseMoveEvent(QMouseEvent *event)
{
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void QSAlertController::mouseReleaseEvent(QMouseEvent *event)
{
    dragOffset_.reset();
    QDialog::mouseReleaseEvent(event);
}

QLabel *QSAlertController::title() const { return ui_->title; }
QSRoundedPanel *QSAlertController::header() const { return ui_->header; }
QSRoundedPanel *QSAlertController::view() const { return ui_->view; }
QSButton *QSAlertController::yesButton() const { return ui_->yesButton; }
QSButton *QSAlertController::noButton() const { return ui_->noButton; }
QLabel *QSAlertController::message() const { return ui_->message; }
