#pragma once
// How the installer's screens reach screen readers. Qt's own accessibility interfaces cover the
// standard controls; the interfaces installed here cover the installer's own widgets: windows
// with their window role, screens whose children follow the screen's reading order, the status
// line and progress bar that announce their changes, texts whose links are links, and the error
// screen and quit confirmation as alerts. On Linux they reach Orca and other readers through
// AT-SPI; without an accessibility bus nothing of this runs.

#include <QRect>

class QWidget;

namespace QSAccessibility {

// Installs the interfaces for the installer's widgets. Once per process, after the application
// object and before the first window.
void install();

// A picture that only repeats what a text beside it says: left out of the accessibility tree.
void setDecorative(QWidget *widget);
bool isDecorative(const QWidget *widget);

// A rectangle in global points as the screen's device pixels, where assistive technology
// (magnifiers, readers that follow the pointer) looks for it. The same at scale 1.
QRect nativeRect(const QRect &points, const QWidget *widget);
// The reverse, for a position assistive technology gives.
QPoint pointFromNative(const QPoint &pixels, const QWidget *widget);

// Tells screen readers that an alert (a screen or window with the alert role) has just appeared,
// so that they read its name and description.
void announceAlert(QWidget *alert);

// Tells screen readers that the keyboard moved to another part (a link) of `widget`: its
// interface's focused child is what they hear.
void announceFocusedChild(QWidget *widget);

}  // namespace QSAccessibility
