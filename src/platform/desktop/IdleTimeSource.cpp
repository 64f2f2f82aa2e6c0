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

#include <algorithm>
#include <utility>

namespace platform {

namespace {

// How long a service may take to say whether it answers, while idle time is seen from no backend.
constexpr int defaultProbeTimeoutMs = 1000;

IdleTimeSource* installedSource = nullptr;
// Destroyed with the application object, while its D-Bus machinery is there; never at the process's
// exit, which may come without the application object ending (Qt's platform plugin calls exit()
// when the display goes away), after Qt's own statics are gone.
IdleTimeSource* defaultSource = nullptr;

// A D-Bus backend asking whether its service answers, or nothing without a session bus.
template <typename Source, typename... Arguments>
std::unique_ptr<IdleTimeSource> tryDBus(const QDBusConnection& bus, int probeTimeoutMs,
    const std::string& description, std::string& reasons, Arguments&&... arguments)
{
    if (!bus.isConnected()) {
        reasons += " " + description + ": no session bus.";
        return nullptr;
    }
    auto source = std::make_unique<Source>(bus, std::forward<Arguments>(arguments)...);
    source->probe(probeTimeoutMs);
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
        return { Backend::mutter, Backend::extIdleNotify, Backend::kdeIdle, Backend::screenSaver };
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
    return createDefault(QDBusConnection::sessionBus(), defaultProbeTimeoutMs);
}

std::unique_ptr<IdleTimeSource> IdleTimeSource::createDefault(
    const QDBusConnection& sessionBus, int probeTimeoutMs)
{
    std::string reasons;
    std::vector<std::unique_ptr<IdleTimeSource>> found;
    bool compositorAnswers = false;
    const bool wayland = isWaylandSession();
    if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        reasons += " X11: Xwayland sees only the input that goes to X windows, and is not asked in a "
                   "Wayland session.";
    }
    for (Backend backend : candidateOrder(wayland)) {
        std::unique_ptr<IdleTimeSource> source;
        switch (backend) {
        case Backend::x11:
            if (qEnvironmentVariableIsEmpty("DISPLAY")) {
                reasons += " X11: no display.";
            } else if (!(source = X11SyncIdleTimeSource::open()) && !(source = X11IdleTimeSource::open())) {
                reasons += " X11: the display cannot be opened or lacks both SYNC's IDLETIME with "
                           "XInput 2.1 and MIT-SCREEN-SAVER.";
            }
            break;
        case Backend::mutter:
            source = tryDBus<MutterIdleTimeSource>(
                sessionBus, probeTimeoutMs, "GNOME Mutter IdleMonitor", reasons);
            break;
        case Backend::extIdleNotify:
        case Backend::kdeIdle: {
            // One compositor, one protocol: the older is asked only where the newer is missing.
            if (compositorAnswers) {
                break;
            }
            const bool kde = backend == Backend::kdeIdle;
            std::string error;
            source = WaylandIdleTimeSource::open(nullptr, &error,
                kde ? WaylandIdleTimeSource::Protocol::kdeIdle
                    : WaylandIdleTimeSource::Protocol::extIdleNotify);
            compositorAnswers = source != nullptr;
            if (!source) {
                reasons += std::string(kde ? " Wayland org_kde_kwin_idle: " : " Wayland ext-idle-notify-v1: ")
                    + error + ".";
            }
            break;
        }
        case Backend::screenSaver:
            source = tryDBus<DBusIdleTimeSource>(sessionBus, probeTimeoutMs, "org.freedesktop.ScreenSaver",
                reasons, DBusIdleTimeSource::freedesktopScreenSaver());
            break;
        case Backend::unavailable:
            break;
        }
        if (source) {
            found.push_back(std::move(source));
        }
    }
    const auto any = [&](bool (IdleTimeSource::*state)() const) {
        return std::any_of(
            found.begin(), found.end(), [state](const auto& source) { return (source.get()->*state)(); });
    };
    if (!any(&IdleTimeSource::isAvailable) && !any(&IdleTimeSource::isAsking)) {
        // The user counts as present until a service that is not there yet comes.
        found.push_back(std::make_unique<UnavailableIdleTimeSource>("Tried:" + reasons));
    } else if (!reasons.empty()) {
        log(LogLevel::Info, lcIdle(), "Idle sources not found:" + reasons);
    }
    // Every backend that answers is kept, best first, so that one can stand in for another that
    // goes away; one not there yet takes over when it comes. The chain says which it uses.
    return std::make_unique<FallbackIdleTimeSource>(std::move(found));
}

IdleTimeSource& IdleTimeSource::shared()
{
    if (installedSource) {
        return *installedSource;
    }
    if (!defaultSource) {
        defaultSource = createDefault().release();
        qAddPostRoutine([] { delete std::exchange(defaultSource, nullptr); });
    }
    return *defaultSource;
}

void IdleTimeSource::setShared(IdleTimeSource* source)
{
    installedSource = source;
}

} // namespace platform
