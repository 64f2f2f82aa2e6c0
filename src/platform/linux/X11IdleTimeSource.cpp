#include "platform/linux/X11IdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/linux/XlibConnectionLoss.h"

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
    XlibConnectionLoss::watch();
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
    auto source = std::unique_ptr<X11IdleTimeSource>(new X11IdleTimeSource(std::move(connection), {}));
    source->m_query = [connection = source->m_connection.get()]() -> std::optional<unsigned long> {
        Display* display = connection->display;
        if (!XScreenSaverQueryInfo(display, DefaultRootWindow(display), connection->info)) {
            return std::nullopt;
        }
        return connection->info->idle;
    };
    return source;
}

std::unique_ptr<X11IdleTimeSource> X11IdleTimeSource::withQuery(Query query)
{
    return std::unique_ptr<X11IdleTimeSource>(new X11IdleTimeSource(nullptr, std::move(query)));
}

X11IdleTimeSource::X11IdleTimeSource(std::unique_ptr<Connection> connection, Query query)
    : m_connection(std::move(connection))
    , m_query(std::move(query))
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
    const auto milliseconds = m_query();
    if (!milliseconds) {
        if (!m_reportedFailure) {
            m_reportedFailure = true;
            log(LogLevel::Warning, lcIdle(),
                "The X server did not answer the idle-time query; counting the user as active.");
        }
        return 0;
    }
    m_reportedFailure = false;
    return static_cast<double>(*milliseconds) / 1000.0;
}

} // namespace platform
