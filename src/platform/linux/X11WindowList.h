#pragma once

#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One top-level window as the X11 window manager lists it, with what X11 tells of it.
struct X11ClientWindow {
    std::uint32_t window = 0;
    // _NET_WM_NAME (UTF-8), else WM_NAME; nothing when the window has neither.
    std::optional<std::string> name;
    // _NET_WM_PID; 0 when the client did not say.
    std::int32_t processIdentifier = 0;
    // The class part of WM_CLASS, which desktop entries match ("StartupWMClass").
    std::optional<std::string> windowClass;
    // In root coordinates.
    QRect bounds;
    // _NET_WM_WINDOW_OPACITY as a fraction; 1 when unset.
    double alpha = 1.0;
    bool isAbove = false;
    bool isBelow = false;
    // Mapped and viewable.
    bool isViewable = false;
};

// The windows in the window manager's _NET_CLIENT_LIST of the display named (DISPLAY when null), in
// that list's order; windows that vanish while being read are left out. An empty list without a
// window manager that keeps one; nothing when no X server can be reached.
std::optional<std::vector<X11ClientWindow>> x11ClientWindows(const char* displayName = nullptr);

} // namespace platform
