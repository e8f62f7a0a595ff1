#pragma once
#include "engine/QSScreens.h"

#include <QList>

// The window's elements whose visibility follows the screen state.
enum class QSScreenElement {
    InstallView,     // welcome container
    PageView,        // onboarding carousel
    SpinnerView,     // connecting container
    ProgressView,    // progress bar
    ProgressStatus,  // status line under the bar
    ErrorView,       // error-screen container
    CloseButton,
    InstallButton,
    LaunchButton,
};

enum class QSElementChange { Keep, Show, Hide, Disable };

struct QSElementSetting {
    QSScreenElement element;
    QSElementChange change;
};

// The one table of which element shows in which state, for the window and its tests alike.
// Elements a state leaves as they were are not listed. Besides visibility, Downloading gives the
// progress bar a corner radius of 5 and Finished sets the status text and the launch title; the
// window does those when it applies the state.
class QSScreenStates {
public:
    // The settings of a state in the order the window applies them.
    static const QList<QSElementSetting> &settings(QSScreenState state);
    static QSElementChange change(QSScreenState state, QSScreenElement element);

    QSScreenStates() = delete;
};
