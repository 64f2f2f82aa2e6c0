#include "platform/linux/QtDisplayConnection.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

namespace platform {

namespace {

// Where the Wayland client library connects: $WAYLAND_DISPLAY (wayland-0 when unset), under
// $XDG_RUNTIME_DIR unless it is a path itself. Empty when it cannot be told.
std::string waylandSocketPath()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const std::string display = name && *name ? name : "wayland-0";
    if (display.front() == '/') {
        return display;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string(runtime) + "/" + display : std::string();
}

// Whether a socket of the process connected to `path` has been closed by its other end. Every
// connection of the process to the compositor is looked at: when the compositor has gone, all of
// them are closed; when it dropped Qt's connection for a protocol error, that one is. With none to
// look at (a socket the compositor handed over when it started the application), true.
bool aConnectionWasClosedBy(const std::string& path)
{
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder) {
        return true;
    }
    bool found = false;
    bool closed = false;
    while (const dirent* entry = ::readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(folder)) {
            continue;
        }
        sockaddr_un peer {};
        socklen_t length = sizeof peer;
        if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &length) != 0
            || peer.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path)
            || std::strncmp(peer.sun_path, path.c_str(), sizeof peer.sun_path) != 0) {
            continue;
        }
        found = true;
        pollfd state { static_cast<int>(fd), POLLRDHUP, 0 };
        if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLRDHUP | POLLERR)) != 0) {
            closed = true;
            break;
        }
    }
    ::closedir(folder);
    return closed || !found;
}

} // namespace

QtDisplayConnection::QtDisplayConnection()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        m_onX11 = true;
        auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        m_x11 = x11 ? x11->connection() : nullptr;
    } else if (platform.startsWith(QLatin1String("wayland"))) {
        m_onWayland = true;
        m_waylandSocket = waylandSocketPath();
    }
}

bool QtDisplayConnection::hasFailed(DisplayLossWatch::Display display) const
{
    switch (display) {
    case DisplayLossWatch::Display::x11:
        return m_onX11 && (!m_x11 || ::xcb_connection_has_error(m_x11) != 0);
    case DisplayLossWatch::Display::wayland:
        return m_onWayland && (m_waylandSocket.empty() || aConnectionWasClosedBy(m_waylandSocket));
    }
    return false;
}

} // namespace platform
