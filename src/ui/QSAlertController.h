#pragma once
// A small two-button confirmation window of the installer's own design that floats above the main
// window. It knows nothing about what it confirms: each button posts the notification it was given
// and the caller's observers decide what happens and close the window. The affirmative button
// sends {"isUserAction": true} so that its receiver can tell the user's choice from other posts of
// the same name. The keyboard focus starts on the negative button and Return presses the focused
// button (Tab moves between the two); Escape answers with the negative one.

#include <QDialog>
#include <QPoint>

#include <memory>
#include <optional>

class QLabel;
class QSButton;
class QSRoundedPanel;

namespace Ui {
class QSAlertController;
}

class QSAlertController : public QDialog {
    Q_OBJECT
public:
    explicit QSAlertController(QWidget *owner = nullptr);
    ~QSAlertController() override;

    // Stores the two names, shows the window in front, centred over its owner's window (the screen
    // without one), and fills the texts.
    void showWindow(QWidget *sender, const QString &title, const QString &message,
                    const QString &yesNotification, const QString &noNotification);

    QString yesNotification() const { return yesNotification_; }
    QString noNotification() const { return noNotification_; }

    QLabel *title() const;
    QSRoundedPanel *header() const;
    QSRoundedPanel *view() const;
    QSButton *yesButton() const;
    QSButton *noButton() const;
    QLabel *message() const;

public slots:
    void onYesButtonClick();
    void onNoButtonClick();

protected:
    // Escape: the negative answer; the window stays until its owner closes it.
    void reject() override;
    // Closing from the window system is the negative answer as well; the owner's close() passes.
    void closeEvent(QCloseEvent *event) override;
    // Movable by dragging anywhere on its background.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void windowDidLoad();
    void setupHeader();
    void setupBody();
    void setupYesButton();
    void setupNoButton();
    void centreOnScreen();

    std::unique_ptr<Ui::QSAlertController> ui_;
    QString yesNotification_;
    QString noNotification_;
    std::optional<QPoint> dragOffset_;
};
