#include "ui/QSWindowEffects.h"

#include <QGuiApplication>
#include <QScreen>

#include <optional>

// The X platform plugin follows the compositing manager's selection ("_NET_WM_CM_S0") from the
// moment it connects; asking it costs no round trip to the X server on the way to the first window.
#include <qpa/qplatformnativeinterface.h>

namespace QSWindowEffects {

bool translucencyAvailable()
{
    static std::optional<bool> available;
    if (available)
        return *available;
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        available = true;  // Wayland and the offscreen test platform compose windows themselves
        return true;
    }
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QScreen *screen = QGuiApplication::primaryScreen();
    available = native && screen && native->nativeResourceForScreen(QByteArrayLiteral("compositingenabled"), screen);
    return *available;
}

}  // namespace QSWindowEffects
