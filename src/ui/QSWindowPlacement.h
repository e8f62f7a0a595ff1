#pragma once
// Where the installer's small windows open: centred over the window they belong to. X11 window
// managers mostly keep a program's placement; Wayland compositors place every window themselves
// (a transient one usually over its parent), so there the move changes nothing.

class QWidget;

namespace QSWindowPlacement {

// Moves `window` so that it is centred over `owner`'s window, kept inside the free area of that
// screen; without a shown owner, centred on the screen. A screen that reports no free area leaves
// the window where the window system puts it.
void centreOver(QWidget &window, const QWidget *owner);

}  // namespace QSWindowPlacement
