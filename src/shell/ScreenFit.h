#pragma once
// The window has a fixed size in layout points. On a screen whose free area (logical pixels, panels
// excluded) is smaller than the window and a small margin around it, for instance 1920 x 1080 at
// scale 2, the whole process is drawn at a lower scale instead, decided once before the first window
// exists: Qt then lays out, draws, hit-tests and reports to screen readers at that scale, so the
// window keeps its proportions and stays sharp. Where the window fits, nothing changes.
//
// The lowered scale never goes below one device pixel per point: below that Qt 6.4 paints the
// window blank and picks 1x pictures, and the window would be smaller than on a screen at scale 1.

#include <QSize>
#include <QSizeF>

class QScreen;

namespace shell {

class ScreenFit {
public:
    // Room left between the window and the screen's edges, in points.
    static constexpr int kScreenMargin = 16;
    // A lowered scale is a multiple of this: whole device pixels for the window's 1000 x 640 panel.
    static constexpr qreal kScaleStep = 0.125;

    // What a screen's scale must be multiplied by so that a window of `window` points fits into
    // `available` (logical pixels at the device pixel ratio `ratio`) with the margin. 1 when it
    // fits already, when the screen reports no size or no usable ratio, and when fitting would
    // take the scale below 1.
    static qreal shrinkFactor(QSizeF available, qreal ratio, QSize window);

    // Lowers the scale of `screen` (the screen the window opens on) when the window would not fit
    // it, keeping whatever factor the desktop set (QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS in
    // either form, the platform's own DPI). Call after the application object and before the
    // first window. Leaves the screen's size in the desktop's points for the system report.
    // Returns the factor used.
    static qreal apply(QScreen *screen, QSize window);

    ScreenFit() = delete;
};

}  // namespace shell
