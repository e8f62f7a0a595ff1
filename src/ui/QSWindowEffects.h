#pragma once
// What the window system can draw. See-through windows with a drawn shadow need a compositing
// manager; without one (a bare X server) their transparent parts show black.

namespace QSWindowEffects {

// True unless the screen is an X server that no compositing manager runs on.
bool translucencyAvailable();

}  // namespace QSWindowEffects
