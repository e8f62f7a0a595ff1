#pragma once
// What the window system can draw. See-through windows with a drawn shadow need a compositing
// manager; without one (a bare X server) their transparent parts show black.

#include <QMargins>

class QWidget;

namespace QSWindowEffects {

// True unless the screen is an X server that no compositing manager runs on.
bool translucencyAvailable();

// Tells a Wayland compositor which part of a shown window is the window: all but `margins`, the
// transparent band that carries its shadow (compositors place, centre and snap by that part).
// Nothing elsewhere.
void setVisibleMargins(QWidget *window, const QMargins &margins);

}  // namespace QSWindowEffects
