#pragma once
// The removal window's content (tiny-installer --remove): "Remove Corvala?" with Cancel and Remove,
// then the removal's progress and its outcome with Close. It speaks the installer's languages, uses
// its fonts and colours and its keyboard rules: Return presses the focused button (the primary one
// when nothing has the focus), Escape cancels or closes, Tab follows the buttons' row.

#include "engine/QSRemoval.h"

#include <QWidget>

class QLabel;
class QSButton;
class QSRoundedPanel;
class QSSpinner;
class QSWrappingLabel;
class QTimer;

class QSRemovalController : public QWidget {
    Q_OBJECT
public:
    explicit QSRemovalController(QWidget *parent = nullptr);
    ~QSRemovalController() override;

    enum class Screen { Confirm, Working, Outcome };
    Screen screen() const { return screen_; }
    QSRemoval &removal() { return *removal_; }
    // The elements, for tests.
    QLabel *title() const { return title_; }
    QSWrappingLabel *message() const { return message_; }
    QSWrappingLabel *runningWarning() const { return running_; }
    QSButton *primaryButton() const { return primary_; }
    QSButton *cancelButton() const { return cancel_; }

public slots:
    void onRemoveClick();
    void onCloseClick();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    void showConfirmation();
    void showOutcome(const QSRemoval::Result &result);
    void updateRunningWarning();
    void focusPrimaryButton();
    QString withName(const char *key) const;

    QSRemoval *removal_ = nullptr;
    Screen screen_ = Screen::Confirm;
    QLabel *title_ = nullptr;
    QSRoundedPanel *card_ = nullptr;
    QSWrappingLabel *message_ = nullptr;
    QSWrappingLabel *details_ = nullptr;
    QSRoundedPanel *runningBand_ = nullptr;
    QSWrappingLabel *running_ = nullptr;
    QSSpinner *spinner_ = nullptr;
    QSButton *cancel_ = nullptr;
    QSButton *primary_ = nullptr;
    QTimer *runningPoll_ = nullptr;
};
