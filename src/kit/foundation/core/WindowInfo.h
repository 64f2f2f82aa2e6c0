#pragma once

#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zk {

// One window of the desktop, as the display server describes it. Two descriptions are equal when
// they describe the same window: only `identifier` takes part.
struct WindowInfo {
    // Who may read the window's contents. Any X11 client can read any window's pixels, so X11
    // windows are all `readOnly`.
    enum class SharingState { none, readOnly, readWrite };

    struct Owner {
        // The process's command name ("firefox"); empty when it is not known.
        std::string name;
        // 0 when the window's client did not say.
        std::int32_t processIdentifier = 0;
        // The application's desktop identity as far as X11 tells it: the window's class.
        std::optional<std::string> bundleIdentifier;
    };

    std::uint32_t identifier = 0;
    std::optional<std::string> name;
    Owner owner;
    QRect bounds;
    // 3 for a window kept above others, -1 for one kept below, else 0.
    std::int64_t layer = 0;
    double alpha = 1.0;
    // The display server's memory for the window; X11 does not tell it, so 0.
    std::int64_t memoryUsage = 0;
    SharingState sharingState = SharingState::readOnly;
    bool isOnScreen = false;

    friend bool operator==(const WindowInfo& a, const WindowInfo& b) { return a.identifier == b.identifier; }

    // The windows of the desktop, in the window manager's order. Nothing on a Wayland session: a
    // Wayland compositor gives no client a list of other clients' windows (and the X11 list of
    // Xwayland would leave every native Wayland window out), nor where no display can be reached.
    static std::optional<std::vector<WindowInfo>> list();
};

} // namespace zk
