#include "ui/QSWindowEffects.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace QSWindowEffects {
namespace {

// An X server has a compositing manager when someone owns the selection "_NET_WM_CM_S0".
bool x11HasCompositor(xcb_connection_t *connection)
{
    static const char name[] = "_NET_WM_CM_S0";
    const auto atomCookie = xcb_intern_atom(connection, 0, sizeof name - 1, name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
    if (!atom)
        return false;
    const auto ownerCookie = xcb_get_selection_owner(connection, atom->atom);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, ownerCookie, nullptr), &std::free);
    return owner && owner->owner != XCB_NONE;
}

}  // namespace

bool translucencyAvailable()
{
    static std::optional<bool> available;
    if (available)
        return *available;
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        available = true;  // Wayland and the offscreen test platform compose windows themselves
        return true;
    }
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    available = x11 && x11->connection() && x11HasCompositor(x11->connection());
    return *available;
}

}  // namespace QSWindowEffects
