#include "platform/desktop/WindowTranslucency.h"

#include "platform/linux/X11Atom.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace platform {

namespace {

bool x11CompositingManagerRuns(xcb_connection_t* connection)
{
    // The screen the application's windows are on, as the display's name gives it (":0.1").
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
        screen = 0;
    }
    std::free(host);
    const xcb_atom_t selection = internAtom(connection, "_NET_WM_CM_S" + std::to_string(screen));
    if (selection == XCB_ATOM_NONE) {
        // No client has ever named it on this server: no compositing manager has run.
        return false;
    }
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr),
        &std::free);
    return reply && reply->owner != XCB_WINDOW_NONE;
}

} // namespace

bool WindowTranslucency::isAvailable()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr) {
        return x11CompositingManagerRuns(connection);
    }
    // Wayland compositors composite by their nature; elsewhere (the offscreen platform) nothing is
    // shown on a screen to go black.
    return true;
}

bool WindowTranslucency::showsWindowOpacity()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace platform
