#include "shell/ScreenFit.h"

#include "platform/LinuxHost.h"

#include <QScreen>
#include <QVariant>
#include <QtMath>

// Qt decides its scale factors from QT_SCALE_FACTOR and QT_SCREEN_SCALE_FACTORS while the
// application object starts, before any screen can be measured. Its own setter for a screen's factor
// is what those variables end in; it is not public API, so the build needs Qt's private headers.
#include <QtGui/private/qhighdpiscaling_p.h>

namespace shell {

qreal ScreenFit::shrinkFactor(QSizeF available, qreal ratio, QSize window)
{
    if (!(ratio > 1) || !qIsFinite(ratio) || available.isEmpty() || window.isEmpty())
        return 1;
    const QSizeF needed(window.width() + 2 * kScreenMargin, window.height() + 2 * kScreenMargin);
    if (needed.width() <= available.width() && needed.height() <= available.height())
        return 1;
    // In device pixels the screen stays the same size whatever the scale; only the window shrinks.
    const QSizeF device = available * ratio;
    const qreal fitting = qMin(device.width() / needed.width(), device.height() / needed.height());
    const qreal stepped = qMax(qreal(1), qFloor(fitting / kScaleStep) * kScaleStep);
    return qMin(qreal(1), stepped / ratio);
}

qreal ScreenFit::apply(QScreen *screen, QSize window)
{
    if (!screen)
        return 1;
    // What the desktop asked for, whatever the window needs: the system report gives this size.
    screen->setProperty(platform::LinuxHost::kDesktopPointSizeProperty, screen->geometry().size());
    const qreal factor = shrinkFactor(screen->availableGeometry().size(), screen->devicePixelRatio(), window);
    if (factor >= 1)
        return 1;
    // Qt's factor for the screen is the global one (QT_SCALE_FACTOR) times the screen's own, which
    // comes from QT_SCREEN_SCALE_FACTORS (kept by the screen's name or on the screen object) or
    // from the platform's DPI. The screen's own is what the setter replaces, so it is multiplied.
    const qreal global = QHighDpiScaling::factor(static_cast<const QScreen *>(nullptr));
    const qreal own = global > 0 ? QHighDpiScaling::factor(screen) / global : qreal(1);
    QHighDpiScaling::setScreenFactor(screen, own * factor);
    return factor;
}

}  // namespace shell
