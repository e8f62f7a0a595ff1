#pragma once
// Qt 6.4 can draw a window at a scale that is not a whole multiple of the window system's own: at
// 1.5 device pixels per point on a Wayland output at scale 2, when the installer is drawn smaller
// to fit the screen, or when QT_SCALE_FACTOR asks for it there. Qt then clears an area it is about
// to repaint rounded to the window system's units, but paints it rounded to device pixels; where
// the two roundings part, a row is cleared and never painted. On a see-through window that row is
// a transparent hairline across the window, one at the edge of each label that repainted.
//
// Where the scale is such a fraction, every repaint of a window repaints all of it: its edges fall
// on whole units in both roundings, so nothing is left cleared. Elsewhere Qt's partial repaints
// stand. Installed once on the application, it covers every window, dialogs included.

#include <QObject>

class QWindow;

class QSWholeWindowRepaint : public QObject {
public:
    // Watches the windows of the running application for as long as it runs.
    static void install();

    // True when painting at `windowRatio` device pixels per point on a window system whose own
    // ratio is `nativeRatio` would leave rows cleared: a window system that scales (more than 1)
    // by other than a whole multiple.
    static bool needed(qreal windowRatio, qreal nativeRatio);
    static bool needed(const QWindow *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
