#include "ui/QSWindowEffects.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

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

void setVisibleMargins(QWidget *window, const QMargins &margins)
{
    if (margins.isNull() || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QWindow *handle = window->windowHandle();
    if (!native || !handle)
        return;
    // Qt 6.4 offers this only as the Wayland plugin's "setmargins" function (handed out under one
    // generic type), which grows the window by the margins: its size is put back at once.
    using SetMargins = void (*)(QWindow *, const QMargins &);
    const auto generic = reinterpret_cast<void (*)()>(native->nativeResourceFunctionForWindow("setmargins"));
    const auto setMargins = reinterpret_cast<SetMargins>(generic);
    if (!setMargins)
        return;
    const QRect fixed(window->pos(), window->size());
    setMargins(handle, margins);
    handle->setGeometry(fixed);
}

}  // namespace QSWindowEffects
