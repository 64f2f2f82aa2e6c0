#include "platform/linux/X11WindowList.h"

#include "platform/linux/X11Atom.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace platform {

namespace {

template <class Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <class Reply> ReplyPointer<Reply> owned(Reply* reply)
{
    return ReplyPointer<Reply>(reply, &std::free);
}

ReplyPointer<xcb_get_property_reply_t> property(xcb_connection_t* connection, xcb_window_t window,
    xcb_atom_t name, xcb_atom_t type, std::uint32_t longs = 4096)
{
    if (name == XCB_ATOM_NONE) {
        return owned<xcb_get_property_reply_t>(nullptr);
    }
    return owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, type, 0, longs), nullptr));
}

std::optional<std::string> text(const ReplyPointer<xcb_get_property_reply_t>& reply)
{
    if (!reply || reply->format != 8) {
        return std::nullopt;
    }
    const int length = xcb_get_property_value_length(reply.get());
    return std::string(
        static_cast<const char*>(xcb_get_property_value(reply.get())), static_cast<std::size_t>(length));
}

std::vector<std::uint32_t> cardinals(const ReplyPointer<xcb_get_property_reply_t>& reply)
{
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(values, values + count);
}

} // namespace

std::optional<std::vector<X11ClientWindow>> x11ClientWindows(const char* displayName)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> closing(connection, &xcb_disconnect);
    if (xcb_connection_has_error(connection)) {
        return std::nullopt;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return std::nullopt;
    }
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t clientList = internAtom(connection, "_NET_CLIENT_LIST");
    const xcb_atom_t utf8 = internAtom(connection, "UTF8_STRING");
    const xcb_atom_t netName = internAtom(connection, "_NET_WM_NAME");
    const xcb_atom_t pid = internAtom(connection, "_NET_WM_PID");
    const xcb_atom_t opacity = internAtom(connection, "_NET_WM_WINDOW_OPACITY");
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    const xcb_atom_t above = internAtom(connection, "_NET_WM_STATE_ABOVE");
    const xcb_atom_t below = internAtom(connection, "_NET_WM_STATE_BELOW");

    std::vector<X11ClientWindow> windows;
    for (const std::uint32_t window : cardinals(property(connection, root, clientList, XCB_ATOM_WINDOW))) {
        auto geometry
            = owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
        auto attributes = owned(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, window), nullptr));
        if (!geometry || !attributes) {
            continue; // gone since the list was read
        }
        auto origin = owned(xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr));
        X11ClientWindow entry;
        entry.window = window;
        entry.bounds = QRect(origin ? origin->dst_x : geometry->x, origin ? origin->dst_y : geometry->y,
            geometry->width, geometry->height);
        entry.isViewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        entry.name = text(property(connection, window, netName, utf8));
        if (!entry.name) {
            entry.name = text(property(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
        }
        if (const auto pids = cardinals(property(connection, window, pid, XCB_ATOM_CARDINAL, 1));
            !pids.empty()) {
            entry.processIdentifier = static_cast<std::int32_t>(pids.front());
        }
        // WM_CLASS holds the instance name, a null, the class name and another null.
        if (const auto classes = text(property(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING))) {
            const std::size_t split = classes->find('\0');
            if (split != std::string::npos) {
                std::string className = classes->substr(split + 1);
                if (const std::size_t end = className.find('\0'); end != std::string::npos) {
                    className.resize(end);
                }
                if (!className.empty()) {
                    entry.windowClass = std::move(className);
                }
            }
        }
        if (const auto values = cardinals(property(connection, window, opacity, XCB_ATOM_CARDINAL, 1));
            !values.empty()) {
            entry.alpha = values.front() / 4294967295.0;
        }
        for (const std::uint32_t each : cardinals(property(connection, window, state, XCB_ATOM_ATOM))) {
            entry.isAbove = entry.isAbove || each == above;
            entry.isBelow = entry.isBelow || each == below;
        }
        windows.push_back(std::move(entry));
    }
    return windows;
}

} // namespace platform
