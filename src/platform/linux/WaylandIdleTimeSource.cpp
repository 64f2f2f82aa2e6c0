#include "platform/linux/WaylandIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/time/Clock.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

constexpr std::string_view category = "idle";

} // namespace

std::unique_ptr<WaylandIdleTimeSource> WaylandIdleTimeSource::open(
    const char* displayName, std::string* error)
{
    wl_display* display = wl_display_connect(displayName);
    if (!display) {
        if (error) {
            *error = "no Wayland compositor answers";
        }
        return nullptr;
    }
    std::unique_ptr<WaylandIdleTimeSource> source(new WaylandIdleTimeSource(display));
    if (!source->bindGlobals(error)) {
        return nullptr;
    }
    return source;
}

WaylandIdleTimeSource::WaylandIdleTimeSource(wl_display* display)
    : m_display(display)
{
}

WaylandIdleTimeSource::~WaylandIdleTimeSource()
{
    m_readable.reset();
    if (m_notification) {
        ext_idle_notification_v1_destroy(m_notification);
    }
    if (m_notifier) {
        ext_idle_notifier_v1_destroy(m_notifier);
    }
    if (m_seat) {
        wl_seat_destroy(m_seat);
    }
    if (m_registry) {
        wl_registry_destroy(m_registry);
    }
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

void WaylandIdleTimeSource::onGlobal(
    void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* self = static_cast<WaylandIdleTimeSource*>(data);
    if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !self->m_notifier) {
        self->m_notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
        // The first seat: a desktop with several seats has one user's input on the first.
        self->m_seat = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min<uint32_t>(version, 1)));
    }
}

void WaylandIdleTimeSource::onGlobalRemove(void*, wl_registry*, uint32_t) { }

void WaylandIdleTimeSource::onIdled(void* data, ext_idle_notification_v1*)
{
    auto* self = static_cast<WaylandIdleTimeSource*>(data);
    self->m_idledAtUptime = Clock::shared().systemUptime();
}

void WaylandIdleTimeSource::onResumed(void* data, ext_idle_notification_v1*)
{
    static_cast<WaylandIdleTimeSource*>(data)->m_idledAtUptime = -1;
}

bool WaylandIdleTimeSource::bindGlobals(std::string* error)
{
    static const wl_registry_listener listener
        = { &WaylandIdleTimeSource::onGlobal, &WaylandIdleTimeSource::onGlobalRemove };
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);
    if (wl_display_roundtrip(m_display) < 0) {
        if (error) {
            *error = "the Wayland compositor did not list its globals";
        }
        return false;
    }
    if (!m_notifier || !m_seat) {
        if (error) {
            *error = !m_notifier ? "the Wayland compositor does not offer ext_idle_notifier_v1"
                                 : "the Wayland compositor offers no seat";
        }
        return false;
    }
    createNotification();
    m_readable = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &WaylandIdleTimeSource::readEvents);
    return true;
}

void WaylandIdleTimeSource::createNotification()
{
    static const ext_idle_notification_v1_listener listener
        = { &WaylandIdleTimeSource::onIdled, &WaylandIdleTimeSource::onResumed };
    if (m_notification) {
        ext_idle_notification_v1_destroy(m_notification);
    }
    m_idledAtUptime = -1;
    const auto milliseconds = static_cast<uint32_t>(
        std::clamp(std::llround(m_threshold * 1000.0), 1LL, static_cast<long long>(UINT32_MAX)));
    m_notification = ext_idle_notifier_v1_get_idle_notification(m_notifier, milliseconds, m_seat);
    ext_idle_notification_v1_add_listener(m_notification, &listener, this);
    wl_display_flush(m_display);
}

void WaylandIdleTimeSource::readEvents()
{
    if (m_lost) {
        return;
    }
    if (wl_display_dispatch(m_display) < 0) {
        lost(std::strerror(errno));
        return;
    }
    wl_display_flush(m_display);
}

void WaylandIdleTimeSource::lost(const std::string& why)
{
    m_lost = true;
    m_idledAtUptime = -1;
    m_readable.reset();
    log(LogLevel::Warning, category,
        "The Wayland compositor's connection was lost (" + why + "): idle time is unavailable");
}

double WaylandIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double WaylandIdleTimeSource::secondsSinceLastInput()
{
    if (m_idledAtUptime < 0) {
        return 0;
    }
    return m_threshold + std::max(0.0, Clock::shared().systemUptime() - m_idledAtUptime);
}

void WaylandIdleTimeSource::setIdleThreshold(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0 || seconds == m_threshold) {
        return;
    }
    m_threshold = seconds;
    if (!m_lost) {
        createNotification();
    }
}

} // namespace platform
