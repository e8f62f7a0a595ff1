#pragma once
#include "telemetry/CoreGlobal.h"

#include <QString>

class QSConfig;

// A text of the error screen. Most are plain localised texts; two are rich texts with links,
// fonts and colours that only the window can build, so the flow names them instead.
struct QSScreenText {
    enum class Kind {
        Plain,            // `text` as it stands (empty text for "no subtitle")
        VisitOnlineSite,  // the window's setupVisitOnlineSiteLabelUI
        ContactSupport,   // the window's setupContactSupportLabelsUI
    };
    Kind kind = Kind::Plain;
    QString text;

    static QSScreenText plain(const QString &text) { return {Kind::Plain, text}; }
    static QSScreenText empty() { return {Kind::Plain, QStringLiteral("")}; }
    static QSScreenText visitOnlineSite() { return {Kind::VisitOnlineSite, {}}; }
    static QSScreenText contactSupport() { return {Kind::ContactSupport, {}}; }

    bool operator==(const QSScreenText &other) const = default;
};

// Content of one error-state screen (showInfoAlertWithMessage:title:icon:retry:close:
// contactSupport:subTitle:isURL:exitOnClose:).
struct QSInfoAlert {
    QSScreenText message;
    QString title;     // localised
    QString iconName;  // image resource name, e.g. "no_internet"
    bool retry = false;
    bool close = false;
    bool contactSupport = false;
    QSScreenText subTitle;
    bool isURL = false;        // the subtitle is a link
    bool exitOnClose = false;  // a later quit request ends the installer without confirmation

    bool operator==(const QSInfoAlert &other) const = default;
};

// Screen states whose visibility the flow sets; the table in QSScreenStates says what each shows.
enum class QSScreenState {
    Welcome,
    Connecting,
    Downloading,
    DownloadDone,  // 0.8 s after placement: launch button, status line and progress bar hidden
    Finished,
    Error,
};

// What the installation flow asks of the window. The window (QSMainController) implements it;
// tests use a recording fake. Every call comes on the main thread.
class QSScreens {
public:
    virtual ~QSScreens() = default;

    // Enters the error state with this content (sets closeWithoutCheck from exitOnClose).
    virtual void showInfoAlert(const QSInfoAlert &alert) = 0;
    // The installation-failed screen for a reason ("Config error", "Download Error", ...). Screen
    // only: the flow has already written "Show generic error screen." and sent the "Install"
    // FAIL event, because it holds the configuration those need.
    virtual void showGenericError(const QString &reason) = 0;
    // Builds the onboarding carousel from the loaded configuration.
    virtual void setupPageController(const QSConfig &config) = 0;
    // Applies the visibility of Connecting, Downloading or DownloadDone as QSScreenStates
    // tables it. Hiding the page view goes through hidePageView (cancels the carousel advance).
    virtual void showState(QSScreenState state) = 0;
    // The finished state: launch button titled "QSstarted", status "QSWelcome_To_Brightmoor".
    virtual void updateLauchButtons() = 0;
    // Makes the controller's main view visible (before the no-network and download-error screens).
    virtual void makeMainViewVisible() = 0;
    // Hides the window's close control while the product launches.
    virtual void hideCloseButton() = 0;
    // Shows the status line with `label` and sets the progress bar to percentFill (0 to 100).
    virtual void updateProgress(float percentFill, const QString &label) = 0;
    // Whether the quit confirmation is open (the controller's `alert` is present).
    virtual bool isQuitConfirmationOpen() const = 0;
};
