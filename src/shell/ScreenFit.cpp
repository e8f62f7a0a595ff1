#include "shell/ScreenFit.h"

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
    if (!(ratio > 0) || !qIsFinite(ratio) || available.isEmpty() || window.isEmpty())
        return 1;
    const QSizeF needed(window.width() + 2 * kScreenMargin, window.height() + 2 * kScreenMargin);
    if (needed.width() <= available.width() && needed.height() <= available.height())
        return 1;
    // In device pixels the screen stays the same size whatever the scale; only the window shrinks.
    const QSizeF device = available * ratio;
    const qreal fitting = qMin(device.width() / needed.width(), device.height() / needed.height());
    const qreal stepped = qMax(kScaleStep, qFloor(fitting / kScaleStep) * kScaleStep);
    return qMin(qreal(1), stepped / ratio);
}

qreal ScreenFit::apply(QScreen *screen, QSize window)
{
    if (!screen)
        return 1;
    const qreal factor = shrinkFactor(screen->availableGeometry().size(), screen->devicePixelRatio(), window);
    if (factor >= 1)
        return 1;
    // The screen's own factor from QT_SCREEN_SCALE_FACTORS, if any, is kept and multiplied.
    const QVariant own = screen->property("_q_scaleFactor");
    const qreal current = own.isValid() && own.toReal() > 0 ? own.toReal() : qreal(1);
    QHighDpiScaling::setScreenFactor(screen, current * factor);
    return factor;
}

}  // namespace shell
