#include "platform/linux/WaylandIdleTimeSource.h"

#include "platform/Logger.h"
#include "platform/time/Clock.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

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

// What the two protocols' notifications tell, to one of the source's handlers each.
struct WaylandIdleTimeSource::ThresholdEvents {
    static constexpr ext_idle_notification_v1_listener ext
        = { &WaylandIdleTimeSource::onIdled, &WaylandIdleTimeSource::onResumed };
    static constexpr org_kde_kwin_idle_timeout_listener kde
        = { &WaylandIdleTimeSource::onIdled, &WaylandIdleTimeSource::onResumed };
};

struct WaylandIdleTimeSource::MarkEvents {
    static constexpr ext_idle_notification_v1_listener ext
        = { &WaylandIdleTimeSource::onPauseMarked, &WaylandIdleTimeSource::onResumed };
    static constexpr org_kde_kwin_idle_timeout_listener kde
        = { &WaylandIdleTimeSource::onPauseMarked, &WaylandIdleTimeSource::onResumed };
};

std::unique_ptr<WaylandIdleTimeSource> WaylandIdleTimeSource::open(
    const char* displayName, std::string* error, Protocol protocol)
{
    std::unique_ptr<WaylandIdleTimeSource> source(new WaylandIdleTimeSource(
        displayName ? std::optional<std::string>(displayName) : std::nullopt, protocol));
    if (!source->connectToCompositor(error)) {
        return nullptr;
    }
    return source;
}

WaylandIdleTimeSource::WaylandIdleTimeSource(std::optional<std::string> displayName, Protocol protocol)
    : m_displayName(std::move(displayName))
    , m_protocol(protocol)
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
        if (m_protocol == Protocol::extIdleNotify) {
            ext_idle_notifier_v1_destroy(reinterpret_cast<ext_idle_notifier_v1*>(m_notifier));
        } else {
            // KDE's has no request that ends it: it is freed here alone.
            org_kde_kwin_idle_destroy(reinterpret_cast<org_kde_kwin_idle*>(m_notifier));
        }
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
    const wl_interface& wanted = self->m_protocol == Protocol::extIdleNotify ? ext_idle_notifier_v1_interface
                                                                             : org_kde_kwin_idle_interface;
    if (std::strcmp(interface, wanted.name) == 0 && !self->m_notifier) {
        self->m_notifierVersion
            = std::min<uint32_t>(version, self->m_protocol == Protocol::extIdleNotify ? 2 : 1);
        self->m_notifier
            = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &wanted, self->m_notifierVersion));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
        // The first seat: a desktop with several seats has one user's input on the first.
        self->m_seat = static_cast<wl_seat*>(
            wl_registry_bind(registry, name, &wl_seat_interface, std::min<uint32_t>(version, 1)));
    }
}

void WaylandIdleTimeSource::onGlobalRemove(void*, wl_registry*, uint32_t) { }

template <typename Notification> void WaylandIdleTimeSource::onIdled(void* data, Notification*)
{
    static_cast<WaylandIdleTimeSource*>(data)->idled();
}

template <typename Notification> void WaylandIdleTimeSource::onResumed(void* data, Notification*)
{
    static_cast<WaylandIdleTimeSource*>(data)->resumed();
}

template <typename Notification> void WaylandIdleTimeSource::onPauseMarked(void* data, Notification*)
{
    static_cast<WaylandIdleTimeSource*>(data)->pauseBegan();
}

std::string WaylandIdleTimeSource::name() const
{
    return m_protocol == Protocol::extIdleNotify ? "Wayland ext-idle-notify-v1" : "Wayland org_kde_kwin_idle";
}

void WaylandIdleTimeSource::pauseBegan()
{
    // Said once the seat has had no input for the mark's timeout, counted from the mark's creation
    // at the earliest: a pause that began before it is dated no later than that.
    const double now = uptime();
    if (!m_pauseSince) {
        m_pauseSince = now - pauseMarkSeconds;
    }
    if (std::exchange(m_openedUnseen, false)
        && now - m_pauseMarkMadeAt < pauseMarkSeconds + openingMarkLatency) {
        // No input since the source opened, as far as the compositor can tell: the user was away
        // before, for all anyone knows, and counts as away since then.
        becameIdle(*m_pauseSince);
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
    m_openedUnseen = false;
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
        return fail(m_protocol == Protocol::extIdleNotify
                ? "the Wayland compositor does not offer ext_idle_notifier_v1"
                : "the Wayland compositor does not offer org_kde_kwin_idle");
    }
    if (!m_seat) {
        return fail("the Wayland compositor offers no seat");
    }
    if (!countsInputAlone() && !m_loggedInhibitable) {
        m_loggedInhibitable = true;
        log(LogLevel::Info, lcIdle(),
            std::string(m_protocol == Protocol::extIdleNotify
                    ? "The Wayland compositor offers ext-idle-notify version 1 only"
                    : "The Wayland compositor's org_kde_kwin_idle counts idle time only while nothing "
                      "inhibits idle")
                + ": a break taken while another application inhibits idle (a video playing, a call) is "
                  "not seen");
    }
    if (m_armed) {
        createNotifications();
    }
    m_readable = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &WaylandIdleTimeSource::readEvents);
    return true;
}

void WaylandIdleTimeSource::destroyNotification(wl_proxy*& notification)
{
    if (!notification) {
        return;
    }
    if (m_protocol == Protocol::extIdleNotify) {
        ext_idle_notification_v1_destroy(reinterpret_cast<ext_idle_notification_v1*>(notification));
    } else {
        org_kde_kwin_idle_timeout_release(reinterpret_cast<org_kde_kwin_idle_timeout*>(notification));
    }
    notification = nullptr;
}

void WaylandIdleTimeSource::destroyNotifications()
{
    destroyNotification(m_notification);
    destroyNotification(m_pauseMark);
    m_pauseSince.reset();
}

template <typename Events> wl_proxy* WaylandIdleTimeSource::makeNotification(double timeoutSeconds)
{
    const uint32_t timeout = timeoutMilliseconds(timeoutSeconds);
    if (m_protocol == Protocol::kdeIdle) {
        auto* made = org_kde_kwin_idle_get_idle_timeout(
            reinterpret_cast<org_kde_kwin_idle*>(m_notifier), m_seat, timeout);
        org_kde_kwin_idle_timeout_add_listener(made, &Events::kde, this);
        return reinterpret_cast<wl_proxy*>(made);
    }
    auto* notifier = reinterpret_cast<ext_idle_notifier_v1*>(m_notifier);
    auto* made = m_notifierVersion >= 2
        ? ext_idle_notifier_v1_get_input_idle_notification(notifier, timeout, m_seat)
        : ext_idle_notifier_v1_get_idle_notification(notifier, timeout, m_seat);
    ext_idle_notification_v1_add_listener(made, &Events::ext, this);
    return reinterpret_cast<wl_proxy*>(made);
}

void WaylandIdleTimeSource::createThresholdNotification()
{
    destroyNotification(m_notification);
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
    m_notification = makeNotification<ThresholdEvents>(timeout);
}

void WaylandIdleTimeSource::createNotifications()
{
    // The mark is kept as long as the connection: made anew, it would know no pause that began
    // before it.
    if (!m_pauseMark) {
        m_pauseMark = makeNotification<MarkEvents>(pauseMarkSeconds);
        m_pauseMarkMadeAt = uptime();
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
    // The user was at work before the compositor went, as far as anyone knows: a pause in the
    // first moments after it is back is no sign of having been away since.
    m_openedUnseen = false;
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
