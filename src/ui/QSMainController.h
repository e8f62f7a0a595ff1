#pragma once
// The installer's window content: the welcome, connecting, downloading, finished and error
// screens. It owns the installation flow (the flow decides which screen comes next and calls the
// QSScreens operations below), the error screen, the quit confirmation, the licence window and
// the onboarding carousel.

#include "engine/QSScreens.h"
#include "platform/NotificationCenter.h"
#include "ui/QSAlertController.h"
#include "ui/QSAttributedString.h"
#include "ui/QSEula.h"
#include "ui/QSLaunchArguments.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class HyperlinkTextField;
class QSCarousel;
class QSErrorController;
class QSInstallFlow;
class QSButton;
class QSProgressView;
class QLabel;
class QPushButton;
class QShortcut;

namespace Ui {
class QSMainController;
}

class QSMainController : public QWidget, public QSScreens {
    Q_OBJECT
public:
    static constexpr int kProgressRedrawMilliseconds = 33;
    static constexpr int kLicenceSentenceHeight = 32;

    // arguments: the process arguments, program path first.
    explicit QSMainController(const QStringList &arguments, QWidget *parent = nullptr);
    ~QSMainController() override;

    // The records every run begins with, the window's and an unattended one alike: where it was
    // started from, the Welcome screen and the Start event. Returns what the arguments said.
    static QSLaunchArguments writeStartRecords(QSInstallFlow &flow, const QStringList &arguments);

    // QSScreens
    void showInfoAlert(const QSInfoAlert &alert) override;
    void showGenericError(const QString &reason) override;
    void setupPageController(const QSConfig &config) override;
    void showState(QSScreenState state) override;
    void updateLauchButtons() override;
    void makeMainViewVisible() override;
    void hideCloseButton() override;
    void updateProgress(float percentFill, const QString &label) override;
    bool isQuitConfirmationOpen() const override { return alert_ != nullptr; }

    void hidePageView();
    void showQuitAler();
    void hideAlert();

    // Button actions
    void onInstallTap();
    void onCloseTap();
    void onLaunchTap();

    // Link actions
    void licenseAgreementClick();
    void privacyPolicyClick();
    void setupContactSupport();

    // Elements and state, for the shell and tests.
    QSInstallFlow &flow() const { return *flow_; }
    QSCarousel &carousel() const { return *carousel_; }
    // The error screen's controller, once an error has been shown (null before).
    QSErrorController *errorController() const { return errorController_; }
    QSAlertController *alert() const { return alert_; }
    QSEula *eula() const { return eula_; }
    const QSLaunchArguments &launchArguments() const { return arguments_; }
    bool closeWithoutCheck() const { return closeWithoutCheck_; }
    QWidget *element(const char *name) const;
    HyperlinkTextField *licenceTextView() const { return textView_; }
    // The button that Return presses on the current screen when no control takes it; nullptr when none.
    QPushButton *primaryButton() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // A close request from the window around it: asks to quit, as the close control does.
    void closeEvent(QCloseEvent *event) override;
    // Placed into its window, the content loses the focus it set: it takes it again when shown.
    void showEvent(QShowEvent *event) override;

private:
    void awakeFromNib(const QStringList &arguments);
    void subscribeEvents();
    void setupUI();
    void setUpDetailsFieldUI();
    void setupTitles();
    void setupInstallButtonUI();
    void setupLinkLabelsUI();
    void setupConnectingLabel();
    void setupLaunchButtonUI(bool started);
    void setupProgressStatusUI();
    void setupCloseButtonUI();
    void setupKeyboard();
    void focusPrimaryButton();
    void answerConfirmationWithFocus();
    QSAttributedString screenText(const QSScreenText &text) const;
    void applyPendingProgress();

    std::unique_ptr<Ui::QSMainController> ui_;
    std::unique_ptr<QSInstallFlow> flow_;
    QSCarousel *carousel_ = nullptr;
    QSErrorController *errorController_ = nullptr;
    HyperlinkTextField *textView_ = nullptr;
    QPointer<QSAlertController> alert_;
    QPointer<QSEula> eula_;
    QSLaunchArguments arguments_;
    bool closeWithoutCheck_ = false;
    bool isLaunchOrNot_ = false;
    std::vector<platform::NotificationCenter::Token> observers_;
    std::vector<QShortcut *> answerShortcuts_;
    QTimer progressThrottle_;
    bool progressPending_ = false;
    float pendingProgress_ = 0;
    QString progressLabel_;
};
