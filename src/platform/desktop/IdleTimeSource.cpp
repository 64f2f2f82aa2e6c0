#include "platform/desktop/IdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/desktop/FallbackIdleTimeSource.h"
#include "platform/linux/DBusIdleTimeSource.h"
#include "platform/linux/MutterIdleTimeSource.h"
#include "platform/linux/UnavailableIdleTimeSource.h"
#include "platform/linux/WaylandIdleTimeSource.h"
#include "platform/linux/X11IdleTimeSource.h"

#include <QCoreApplication>
#include <QDBusConnection>

namespace platform {

namespace {

// Long enough for a busy compositor, short enough not to hold up start-up noticeably.
constexpr int probeTimeoutMs = 1000;

IdleTimeSource* installedSource = nullptr;
std::unique_ptr<IdleTimeSource> defaultSource;

std::unique_ptr<IdleTimeSource> tryMutter(std::string& reasons)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reasons += " GNOME Mutter IdleMonitor: no session bus.";
        return nullptr;
    }
    auto source = std::make_unique<MutterIdleTimeSource>(bus);
    std::string error;
    if (!source->probe(probeTimeoutMs, &error)) {
        reasons += " GNOME Mutter IdleMonitor: " + error + ".";
        return nullptr;
    }
    return source;
}

std::unique_ptr<IdleTimeSource> tryScreenSaver(std::string& reasons)
{
    auto service = DBusIdleTimeSource::freedesktopScreenSaver();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reasons += " " + service.description + ": no session bus.";
        return nullptr;
    }
    auto description = service.description;
    auto source = std::make_unique<DBusIdleTimeSource>(bus, std::move(service));
    std::string error;
    if (!source->probe(probeTimeoutMs, &error)) {
        reasons += " " + description + ": " + error + ".";
        return nullptr;
    }
    return source;
}

} // namespace

const char* toString(InputEventType type)
{
    switch (type) {
    case InputEventType::leftMouseDown:
        return "leftMouseDown";
    case InputEventType::rightMouseDown:
        return "rightMouseDown";
    case InputEventType::mouseMoved:
        return "mouseMoved";
    case InputEventType::keyDown:
        return "keyDown";
    case InputEventType::scrollWheel:
        return "scrollWheel";
    }
    return "unknown";
}

std::vector<IdleTimeSource::Backend> IdleTimeSource::candidateOrder(bool waylandSession)
{
    if (waylandSession) {
        return { Backend::mutter, Backend::extIdleNotify, Backend::screenSaver, Backend::x11 };
    }
    return { Backend::x11, Backend::mutter, Backend::screenSaver };
}

bool IdleTimeSource::isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

std::unique_ptr<IdleTimeSource> IdleTimeSource::createDefault()
{
    std::string reasons;
    std::vector<std::unique_ptr<IdleTimeSource>> found;
    for (Backend backend : candidateOrder(isWaylandSession())) {
        std::unique_ptr<IdleTimeSource> source;
        switch (backend) {
        case Backend::x11:
            if (qEnvironmentVariableIsEmpty("DISPLAY")) {
                reasons += " X11: no display.";
            } else if (!(source = X11IdleTimeSource::open())) {
                reasons += " X11: the display cannot be opened or lacks MIT-SCREEN-SAVER.";
            }
            break;
        case Backend::mutter:
            source = tryMutter(reasons);
            break;
        case Backend::extIdleNotify: {
            std::string error;
            if (!(source = WaylandIdleTimeSource::open(nullptr, &error))) {
                reasons += " Wayland ext-idle-notify-v1: " + error + ".";
            }
            break;
        }
        case Backend::screenSaver:
            source = tryScreenSaver(reasons);
            break;
        case Backend::unavailable:
            break;
        }
        if (source) {
            found.push_back(std::move(source));
        }
    }
    if (found.empty()) {
        return std::make_unique<UnavailableIdleTimeSource>("Tried:" + reasons);
    }
    std::string names;
    for (const auto& source : found) {
        names += (names.empty() ? "" : ", ") + source->name();
    }
    // Every backend that answers is kept, best first, so that one can stand in for another that
    // goes away.
    auto chain = std::make_unique<FallbackIdleTimeSource>(std::move(found));
    log(LogLevel::Info, "idle",
        "Idle time comes from " + chain->name() + " (in order of preference: " + names + ").");
    return chain;
}

IdleTimeSource& IdleTimeSource::shared()
{
    if (installedSource) {
        return *installedSource;
    }
    if (!defaultSource) {
        defaultSource = createDefault();
        // Its D-Bus machinery must go before the application object does.
        qAddPostRoutine([] { defaultSource.reset(); });
    }
    return *defaultSource;
}

void IdleTimeSource::setShared(IdleTimeSource* source)
{
    installedSource = source;
}

} // namespace platform
