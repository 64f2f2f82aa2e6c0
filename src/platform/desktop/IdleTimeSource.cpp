#include "platform/desktop/IdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/desktop/FallbackIdleTimeSource.h"
#include "platform/linux/DBusIdleTimeSource.h"
#include "platform/linux/MutterIdleTimeSource.h"
#include "platform/linux/UnavailableIdleTimeSource.h"
#include "platform/linux/WaylandIdleTimeSource.h"
#include "platform/linux/X11IdleTimeSource.h"
#include "platform/linux/X11SyncIdleTimeSource.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <algorithm>

namespace platform {

namespace {

// Long enough for a busy compositor, short enough not to hold up start-up noticeably.
constexpr int probeTimeoutMs = 1000;

IdleTimeSource* installedSource = nullptr;
std::unique_ptr<IdleTimeSource> defaultSource;

// Whether `name` has no owner on the bus now: a service that may still come (the desktop's shell
// starting after this application), not one that failed.
bool isAbsent(const QDBusConnection& bus, const QString& name)
{
    auto* interface = bus.interface();
    return interface && !interface->isServiceRegistered(name).value();
}

// A D-Bus backend that answers, or one that is not on the bus yet, kept to take over once it
// comes (its watcher tells); nothing when the bus is missing or the service fails.
template <typename Source, typename... Arguments>
std::unique_ptr<IdleTimeSource> tryDBus(
    const std::string& description, const QString& name, std::string& reasons, Arguments&&... arguments)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reasons += " " + description + ": no session bus.";
        return nullptr;
    }
    auto source = std::make_unique<Source>(bus, std::forward<Arguments>(arguments)...);
    std::string error;
    if (source->probe(probeTimeoutMs, &error)) {
        return source;
    }
    reasons += " " + description + ": " + error + ".";
    if (isAbsent(bus, name)) {
        source->setAbsent();
        return source;
    }
    return nullptr;
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
            } else if (!(source = X11SyncIdleTimeSource::open()) && !(source = X11IdleTimeSource::open())) {
                reasons += " X11: the display cannot be opened or lacks both SYNC's IDLETIME and "
                           "MIT-SCREEN-SAVER.";
            }
            break;
        case Backend::mutter:
            source = tryDBus<MutterIdleTimeSource>(
                "GNOME Mutter IdleMonitor", QString::fromLatin1(MutterIdleTimeSource::serviceName), reasons);
            break;
        case Backend::extIdleNotify: {
            std::string error;
            if (!(source = WaylandIdleTimeSource::open(nullptr, &error))) {
                reasons += " Wayland ext-idle-notify-v1: " + error + ".";
            }
            break;
        }
        case Backend::screenSaver:
            source = tryDBus<DBusIdleTimeSource>("org.freedesktop.ScreenSaver",
                DBusIdleTimeSource::freedesktopScreenSaver().name, reasons,
                DBusIdleTimeSource::freedesktopScreenSaver());
            break;
        case Backend::unavailable:
            break;
        }
        if (source) {
            found.push_back(std::move(source));
        }
    }
    std::string names;
    for (const auto& source : found) {
        names
            += (names.empty() ? "" : ", ") + source->name() + (source->isAvailable() ? "" : " once it comes");
    }
    const bool anyAnswers
        = std::any_of(found.begin(), found.end(), [](const auto& source) { return source->isAvailable(); });
    if (!anyAnswers) {
        // The user counts as present until a service that is not there yet comes.
        found.push_back(std::make_unique<UnavailableIdleTimeSource>("Tried:" + reasons));
    }
    // Every backend that answers is kept, best first, so that one can stand in for another that
    // goes away; one not there yet takes over when it comes.
    auto chain = std::make_unique<FallbackIdleTimeSource>(std::move(found));
    log(LogLevel::Info, lcIdle(),
        "Idle time comes from " + chain->name() + " (in order of preference: "
            + (names.empty() ? std::string("none to wait for") : names) + ").");
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
