// The keyboard and the quit confirmation of the main controller: what Return, Escape and Tab do
// on each screen, and the close requests that end in the confirmation.

#include "ui/QSMainController.h"

#include "ui_QSMainController.h"

#include "config/QSConfigProvider.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "telemetry/QSNotificationNames.h"
#include "ui/QSAlertController.h"
#include "ui/QSErrorController.h"
#include "ui/QSTextFormat.h"
#include "ui/widgets/HyperlinkTextField.h"
#include "ui/widgets/QSHoverButton.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QShortcut>

void QSMainController::setupKeyboard()
{
    // Tab follows reading order: the licence sentence's links come before the Install button below
    // them. Layouts mirror for right to left, so the same logical order reads right to left there.
    setTabOrder(textView_, ui_->installButton);
    // While the confirmation is open, Return in this window answers it with its focused button
    // (the window's own controls stay out of it); otherwise keyPressEvent below decides.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *answer = new QShortcut(QKeySequence(key), this);
        answer->setContext(Qt::WindowShortcut);
        answer->setEnabled(false);
        connect(answer, &QShortcut::activated, this, &QSMainController::answerConfirmationWithFocus);
        answerShortcuts_.push_back(answer);
    }
    // Escape asks to quit, as the close control does; while the confirmation is open it answers No.
    auto *quit = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    quit->setContext(Qt::WindowShortcut);
    connect(quit, &QShortcut::activated, this, [this] {
        if (alert_)
            alert_->onNoButtonClick();
        else
            onCloseTap();
    });
    focusPrimaryButton();
}

void QSMainController::keyPressEvent(QKeyEvent *event)
{
    // Return reaches the window only when the focused control did not take it (a focused button
    // presses itself, a focused link opens): it then presses the screen's primary button.
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!returnKey || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat())
        return;
    if (alert_)
        answerConfirmationWithFocus();
    else if (QPushButton *button = primaryButton())
        button->click();
}

void QSMainController::answerConfirmationWithFocus()
{
    if (!alert_)
        return;
    if (auto *answer = qobject_cast<QPushButton *>(alert_->focusWidget()))
        answer->click();
    else
        alert_->activateWindow();
}

void QSMainController::closeEvent(QCloseEvent *event)
{
    // The window passes a close from the window system here: a quit request like the close
    // control's, answered by the confirmation (or at once where the screen quits without asking).
    event->ignore();
    showQuitAler();
}

void QSMainController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Otherwise the window would give the focus to the first control in Tab order, the cross.
    focusPrimaryButton();
}

void QSMainController::focusPrimaryButton()
{
    // Each screen starts with the keyboard on its primary button, or on no control at all. The
    // ring shows it at once: Return presses that button, and the person should see which.
    if (QPushButton *button = primaryButton()) {
        button->setFocus(Qt::OtherFocusReason);
        if (auto *drawn = qobject_cast<QSHoverButton *>(button))
            drawn->setFocusRingShown(true);
    } else if (ui_->progressView->isVisibleTo(this)) {
        // While the installer works: the bar, which says how far it is.
        ui_->progressView->setFocus(Qt::OtherFocusReason);
    } else {
        setFocus(Qt::OtherFocusReason);
    }
}

QPushButton *QSMainController::primaryButton() const
{
    if (alert_)
        return nullptr;
    const auto usable = [](QPushButton *button) { return button && button->isVisibleTo(button->window()) && button->isEnabled(); };
    if (ui_->errorView->isVisibleTo(const_cast<QSMainController *>(this))) {
        if (usable(errorController_->retryButton()))
            return errorController_->retryButton();
        if (usable(errorController_->closeButton()))
            return errorController_->closeButton();
        return nullptr;
    }
    if (usable(ui_->launchButton))
        return ui_->launchButton;
    if (ui_->installView->isVisibleTo(const_cast<QSMainController *>(this)) && usable(ui_->installButton))
        return ui_->installButton;
    return nullptr;
}

// ----- Quit confirmation -------------------------------------------------------------------

void QSMainController::showQuitAler()
{
    if (alert_)
        return;
    if (closeWithoutCheck_) {
        platform::NotificationCenter::defaultCenter().post(QSNotificationNames::kQuitInstallation);
        return;
    }
    alert_ = new QSAlertController(window());
    for (QShortcut *answer : answerShortcuts_)
        answer->setEnabled(true);
    // Once the product is placed nothing is under way and another run only finds it installed:
    // the finished screen has a message of its own.
    const bool installed = ui_->launchButton->isVisibleTo(this);
    const QString message = installed ? replacingPlaceholder(platform::localizedString("QSQuitMessageInstalled"),
                                                             QSConfigProvider::getStringFromPlist(QStringLiteral("APP_NAME")))
                                      : platform::localizedString("QSQuitMessage");
    alert_->showWindow(this, platform::localizedString("QSQuitTitle"), message,
                       QSNotificationNames::kQuitInstallation, QSNotificationNames::kHideAlert);
}

void QSMainController::hideAlert()
{
    if (!alert_)
        return;
    QSAlertController *closing = alert_;
    alert_ = nullptr;
    for (QShortcut *answer : answerShortcuts_)
        answer->setEnabled(false);
    closing->close();
    closing->deleteLater();
    // "No, stay": the keyboard comes back to this window, where it was.
    window()->activateWindow();
}
