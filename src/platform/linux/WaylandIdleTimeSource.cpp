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

double uptime()
{
    return Clock::shared().systemUptime();
}

uint32_t timeoutMilliseconds(double seconds)
{
    return static_cast<uint32_t>(
        std::clamp(std::llround(seconds * 1000.0), 1LL, static_cast<long long>(UINT32_MAX)));
}

} // namespace

std::unique_ptr<WaylandIdleTimeSource> WaylandIdleTimeSource::open(
    const char* displayName, std::string* error)
{
    std::unique_ptr<WaylandIdleTimeSource> source(
        new WaylandIdleTimeSource(displayName ? std::optional<std::string>(displayName) : std::nullopt));
    if (!source->connectToCompositor(error)) {
        return nullptr;
    }
    return source;
}

WaylandIdleTimeSource::WaylandIdleTimeSource(std::optional<std::string> displayName)
    : m_displayName(std::move(displayName))
{
    m_reconnect.setInterval(reconnectIntervalMs);
    m_reconnect.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_reconnect, &QTimer::timeout, this, &WaylandIdleTimeSource::reconnect);
}

WaylandIdleTimeSource::~WaylandIdleTimeSource()
{
    disconnect();
}

void WaylandIdleTimeSource::disconnect()
{
    m_readable.reset();
    destroyNotifications();
    if (m_notifier) {
        ext_idle_notifier_v1_destroy(m_notifier);
        m_notifier = nullptr;
    }
    if (m_seat) {
        wl_seat_destroy(m_seat);
        m_seat = nullptr;
    }
    if (m_registry) {
        wl_registry_destroy(m_registry);
        m_registry = nullptr;
    }
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
        m_display = nullptr;
    }
}

void WaylandIdleTimeSource::onGlobal(
    void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* self = static_cast<WaylandIdleTimeSource*>(data);
    if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !self->m_notifier) {
        self->m_notifierVersion = std::min<uint32_t>(version, 2);
        self->m_notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, self->m_notifierVersion));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
        // The first seat: a desktop with several seats has one user's input on the first.
        self->m_seat = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min<uint32_t>(version, 1)));
    }
}

void WaylandIdleTimeSource::onGlobalRemove(void*, wl_registry*, uint32_t) { }

void WaylandIdleTimeSource::onIdled(void* data, ext_idle_notification_v1*)
{
    static_cast<WaylandIdleTimeSource*>(data)->idled();
}

void WaylandIdleTimeSource::onResumed(void* data, ext_idle_notification_v1*)
{
    static_cast<WaylandIdleTimeSource*>(data)->resumed();
}

void WaylandIdleTimeSource::onPauseMarked(void* data, ext_idle_notification_v1*)
{
    static_cast<WaylandIdleTimeSource*>(data)->pauseBegan();
}

void WaylandIdleTimeSource::pauseBegan()
{
    // Said once the seat has had no input for the mark's timeout, counted from the mark's creation
    // at the earliest: a pause that began before it is dated no later than that.
    if (!m_pauseSince) {
        m_pauseSince = uptime() - pauseMarkSeconds;
    }
}

void WaylandIdleTimeSource::idled()
{
    // The compositor says it once the seat has had no input for the notification's timeout; the
    // mark, with the shorter timeout, has said when the pause began.
    const double timeout = m_shortenedTimeout.value_or(m_threshold);
    becameIdle(m_pauseSince.value_or(uptime() - timeout));
}

void WaylandIdleTimeSource::becameIdle(double since)
{
    if (m_idleSince) {
        return;
    }
    m_idleSince = since;
    tell({ IdleEvent::Type::idle, since });
}

void WaylandIdleTimeSource::resumed()
{
    m_pauseSince.reset();
    if (m_shortenedTimeout && m_armed && !m_lost) {
        // Input again: the next pause must last the whole threshold.
        createThresholdNotification();
        wl_display_flush(m_display);
    }
    if (!m_idleSince) {
        return;
    }
    m_idleSince.reset();
    tell({ IdleEvent::Type::active, uptime() });
}

bool WaylandIdleTimeSource::connectToCompositor(std::string* error)
{
    static const wl_registry_listener listener
        = { &WaylandIdleTimeSource::onGlobal, &WaylandIdleTimeSource::onGlobalRemove };
    const auto fail = [&](const char* why) {
        if (error) {
            *error = why;
        }
        disconnect();
        return false;
    };
    m_display = wl_display_connect(m_displayName ? m_displayName->c_str() : nullptr);
    if (!m_display) {
        return fail("no Wayland compositor answers");
    }
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);
    if (wl_display_roundtrip(m_display) < 0) {
        return fail("the Wayland compositor did not list its globals");
    }
    if (!m_notifier) {
        return fail("the Wayland compositor does not offer ext_idle_notifier_v1");
    }
    if (!m_seat) {
        return fail("the Wayland compositor offers no seat");
    }
    if (m_notifierVersion < 2 && !m_loggedVersion1) {
        m_loggedVersion1 = true;
        log(LogLevel::Info, lcIdle(),
            "The Wayland compositor offers ext-idle-notify version 1 only: a break taken while another "
            "application inhibits idle (a video playing, a call) is not seen");
    }
    if (m_armed) {
        createNotifications();
    }
    m_readable = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &WaylandIdleTimeSource::readEvents);
    return true;
}

void WaylandIdleTimeSource::destroyNotifications()
{
    if (m_notification) {
        ext_idle_notification_v1_destroy(m_notification);
        m_notification = nullptr;
    }
    if (m_pauseMark) {
        ext_idle_notification_v1_destroy(m_pauseMark);
        m_pauseMark = nullptr;
    }
    m_pauseSince.reset();
}

ext_idle_notification_v1* WaylandIdleTimeSource::makeNotification(double timeoutSeconds)
{
    if (m_notifierVersion >= 2) {
        return ext_idle_notifier_v1_get_input_idle_notification(
            m_notifier, timeoutMilliseconds(timeoutSeconds), m_seat);
    }
    return ext_idle_notifier_v1_get_idle_notification(
        m_notifier, timeoutMilliseconds(timeoutSeconds), m_seat);
}

void WaylandIdleTimeSource::createThresholdNotification()
{
    static const ext_idle_notification_v1_listener listener
        = { &WaylandIdleTimeSource::onIdled, &WaylandIdleTimeSource::onResumed };
    if (m_notification) {
        ext_idle_notification_v1_destroy(m_notification);
    }
    m_shortenedTimeout.reset();
    double timeout = m_threshold;
    if (m_pauseSince && !m_idleSince) {
        // Made during a pause: what is left of the threshold, so that the break is seen a
        // threshold after the last input. At once when that is past.
        const double left = *m_pauseSince + m_threshold - uptime();
        if (left <= 0) {
            const double since = *m_pauseSince;
            QMetaObject::invokeMethod(
                this, [this, since] { becameIdle(since); }, Qt::QueuedConnection);
        } else {
            timeout = left;
            m_shortenedTimeout = left;
        }
    }
    m_notification = makeNotification(timeout);
    ext_idle_notification_v1_add_listener(m_notification, &listener, this);
}

void WaylandIdleTimeSource::createNotifications()
{
    static const ext_idle_notification_v1_listener markListener
        = { &WaylandIdleTimeSource::onPauseMarked, &WaylandIdleTimeSource::onResumed };
    // The mark is kept as long as the connection: made anew, it would know no pause that began
    // before it.
    if (!m_pauseMark) {
        m_pauseMark = makeNotification(pauseMarkSeconds);
        ext_idle_notification_v1_add_listener(m_pauseMark, &markListener, this);
    }
    createThresholdNotification();
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
    m_readable.reset();
    log(LogLevel::Warning, lcIdle(),
        "The Wayland compositor's connection was lost (" + why + "); looking for it again every "
            + std::to_string(reconnectIntervalMs / 1000) + " s");
    // The proxies are freed locally; nothing more reaches the broken connection. What it told is
    // the engine's to keep.
    disconnect();
    m_idleSince.reset();
    m_reconnect.start();
    tell({ IdleEvent::Type::changed, uptime() });
}

void WaylandIdleTimeSource::reconnect()
{
    if (!connectToCompositor(nullptr)) {
        return;
    }
    m_reconnect.stop();
    m_lost = false;
    log(LogLevel::Info, lcIdle(), "The Wayland compositor answers again");
    tell({ IdleEvent::Type::changed, uptime() });
}

double WaylandIdleTimeSource::secondsSinceLastEvent(InputEventType)
{
    return secondsSinceLastInput();
}

double WaylandIdleTimeSource::secondsSinceLastInput()
{
    const auto& since = m_idleSince ? m_idleSince : m_pauseSince;
    if (!since) {
        return 0;
    }
    return std::max(0.0, uptime() - *since);
}

void WaylandIdleTimeSource::armWatches(double thresholdSeconds, std::optional<double> idleSince)
{
    if (std::isfinite(thresholdSeconds) && thresholdSeconds > 0) {
        m_threshold = thresholdSeconds;
    }
    m_armed = true;
    m_idleSince = idleSince;
    if (!m_lost) {
        createNotifications();
    }
}

void WaylandIdleTimeSource::disarmWatches()
{
    m_armed = false;
    m_idleSince.reset();
    if (!m_lost) {
        destroyNotifications();
        wl_display_flush(m_display);
    }
}

} // namespace platform
