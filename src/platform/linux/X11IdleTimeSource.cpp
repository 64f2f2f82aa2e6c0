#include "platform/linux/X11IdleTimeSource.h"

#include "platform/Logger.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace platform {

struct X11IdleTimeSource::Connection {
    Display* display = nullptr;
    XScreenSaverInfo* info = nullptr;

    ~Connection()
    {
        if (info) {
            XFree(info);
        }
        if (display) {
            XCloseDisplay(display);
        }
    }
};

std::unique_ptr<X11IdleTimeSource> X11IdleTimeSource::open(const char* displayName)
{
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(displayName);
    if (!connection->display) {
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(connection->display, &eventBase, &errorBase)) {
        return nullptr;
    }
    connection->info = XScreenSaverAllocInfo();
    if (!connection->info) {
        return nullptr;
    }
    return std::unique_ptr<X11IdleTimeSource>(new X11IdleTimeSource(std::move(connection)));
}

X11IdleTimeSource::X11IdleTimeSource(std::unique_ptr<Connection> connection)
    : m_connection(std::move(connection))
{
}

X11IdleTimeSource::~X11IdleTimeSource() = default;

double X11IdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double X11IdleTimeSource::secondsSinceLastInput()
{
    std::lock_guard lock(m_mutex);
    Display* display = m_connection->display;
    if (!XScreenSaverQueryInfo(display, DefaultRootWindow(display), m_connection->info)) {
        if (!m_reportedFailure) {
            m_reportedFailure = true;
            log(LogLevel::Warning, "idle",
                "The X server did not answer the idle-time query; counting the user as active.");
        }
        return 0;
    }
    m_reportedFailure = false;
    return static_cast<double>(m_connection->info->idle) / 1000.0;
}

} // namespace platform
