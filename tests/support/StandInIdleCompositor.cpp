#include "support/StandInIdleCompositor.h"

#include "ext-idle-notify-v1-server-protocol.h"
#include "idle-server-protocol.h"
#include <wayland-server.h>

#include <algorithm>

#include <sys/eventfd.h>
#include <unistd.h>

StandInIdleCompositor::StandInIdleCompositor(
    const char* socket, uint32_t notifierVersion, double now, bool kdeIdle)
    : m_now(now)
    , m_lastInput(now)
    , m_uninhibitedAt(now)
{
    m_display = wl_display_create();
    if (wl_display_add_socket(m_display, socket) != 0) {
        return;
    }
    wl_global_create(m_display, &wl_seat_interface, 1, this, &StandInIdleCompositor::bindSeat);
    if (notifierVersion > 0) {
        wl_global_create(m_display, &ext_idle_notifier_v1_interface, static_cast<int>(notifierVersion), this,
            &StandInIdleCompositor::bindNotifier);
    }
    if (kdeIdle) {
        wl_global_create(
            m_display, &org_kde_kwin_idle_interface, 1, this, &StandInIdleCompositor::bindKdeIdle);
    }
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wl_event_loop_add_fd(
        wl_display_get_event_loop(m_display), m_wake, WL_EVENT_READABLE,
        [](int fd, uint32_t, void*) {
            uint64_t count = 0;
            static_cast<void>(read(fd, &count, sizeof count));
            return 0;
        },
        nullptr);
    m_listening = true;
    m_thread = std::thread([this] { serve(); });
}

StandInIdleCompositor::~StandInIdleCompositor()
{
    stop();
}

void StandInIdleCompositor::stop()
{
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
    if (m_display) {
        wl_display_destroy_clients(m_display);
        wl_display_destroy(m_display);
        m_display = nullptr;
    }
    if (m_wake >= 0) {
        close(m_wake);
        m_wake = -1;
    }
}

void StandInIdleCompositor::input(double at)
{
    perform([this, at] {
        m_now = std::max(m_now, at);
        sendDue();
        m_lastInput = at;
        for (wl_resource* resource : m_notifications) {
            auto* notification = static_cast<Notification*>(wl_resource_get_user_data(resource));
            if (notification->idled) {
                notification->idled = false;
                sendResumed(resource);
            }
        }
    });
}

void StandInIdleCompositor::advanceTo(double now)
{
    perform([this, now] {
        m_now = std::max(m_now, now);
        sendDue();
    });
}

void StandInIdleCompositor::setIdleInhibited(bool inhibited, double now)
{
    perform([this, inhibited, now] {
        m_now = std::max(m_now, now);
        sendDue();
        if (m_inhibited && !inhibited) {
            m_uninhibitedAt = m_now;
        }
        m_inhibited = inhibited;
    });
}

std::vector<StandInIdleCompositor::Live> StandInIdleCompositor::live()
{
    std::vector<Live> result;
    perform([&] {
        for (wl_resource* resource : m_notifications) {
            auto* notification = static_cast<Notification*>(wl_resource_get_user_data(resource));
            result.push_back({ notification->timeoutMs, notification->inputOnly });
        }
    });
    std::sort(
        result.begin(), result.end(), [](const Live& a, const Live& b) { return a.timeoutMs < b.timeoutMs; });
    return result;
}

std::vector<uint32_t> StandInIdleCompositor::liveTimeouts()
{
    std::vector<uint32_t> timeouts;
    for (const auto& notification : live()) {
        timeouts.push_back(notification.timeoutMs);
    }
    return timeouts;
}

std::optional<double> StandInIdleCompositor::dueAt(wl_resource* resource) const
{
    auto* notification = static_cast<Notification*>(wl_resource_get_user_data(resource));
    if (notification->idled || (m_inhibited && !notification->inputOnly)) {
        return std::nullopt;
    }
    double from = std::max(notification->created, m_lastInput);
    if (!notification->inputOnly) {
        from = std::max(from, m_uninhibitedAt);
    }
    return from + notification->timeoutMs / 1000.0;
}

std::optional<double> StandInIdleCompositor::nextIdledAt()
{
    std::optional<double> next;
    perform([&] {
        for (wl_resource* resource : m_notifications) {
            if (auto due = dueAt(resource); due && (!next || *due < *next)) {
                next = due;
            }
        }
    });
    return next;
}

void StandInIdleCompositor::sendDue()
{
    for (wl_resource* resource : m_notifications) {
        if (auto due = dueAt(resource); due && *due <= m_now + 1e-9) {
            static_cast<Notification*>(wl_resource_get_user_data(resource))->idled = true;
            sendIdled(resource);
        }
    }
}

void StandInIdleCompositor::sendIdled(wl_resource* resource)
{
    if (static_cast<Notification*>(wl_resource_get_user_data(resource))->kde) {
        org_kde_kwin_idle_timeout_send_idle(resource);
    } else {
        ext_idle_notification_v1_send_idled(resource);
    }
}

void StandInIdleCompositor::sendResumed(wl_resource* resource)
{
    if (static_cast<Notification*>(wl_resource_get_user_data(resource))->kde) {
        org_kde_kwin_idle_timeout_send_resumed(resource);
    } else {
        ext_idle_notification_v1_send_resumed(resource);
    }
}

void StandInIdleCompositor::perform(std::function<void()> command)
{
    std::unique_lock lock(m_mutex);
    m_commands.push_back(std::move(command));
    const std::size_t target = ++m_queued;
    const uint64_t one = 1;
    static_cast<void>(write(m_wake, &one, sizeof one));
    m_done.wait(lock, [&] { return m_performed >= target || !m_thread.joinable(); });
}

void StandInIdleCompositor::serve()
{
    wl_event_loop* loop = wl_display_get_event_loop(m_display);
    while (!m_stop) {
        wl_event_loop_dispatch(loop, 5);
        std::vector<std::function<void()>> commands;
        {
            std::lock_guard lock(m_mutex);
            commands.swap(m_commands);
        }
        if (!commands.empty()) {
            // What the clients sent before the test asked comes first: it is in the socket already.
            wl_event_loop_dispatch(loop, 0);
        }
        for (auto& command : commands) {
            command();
        }
        wl_display_flush_clients(m_display);
        if (!commands.empty()) {
            std::lock_guard lock(m_mutex);
            m_performed += commands.size();
            m_done.notify_all();
        }
    }
}

void StandInIdleCompositor::bindSeat(wl_client* client, void*, uint32_t version, uint32_t id)
{
    static const struct wl_seat_interface seat = {
        [](wl_client*, wl_resource*, uint32_t) {},
        [](wl_client*, wl_resource*, uint32_t) {},
        [](wl_client*, wl_resource*, uint32_t) {},
        [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); },
    };
    wl_resource* resource = wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(resource, &seat, nullptr, nullptr);
    wl_seat_send_capabilities(resource, WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD);
}

void StandInIdleCompositor::keep(wl_resource* made, uint32_t timeout, bool inputOnly, bool kde)
{
    wl_resource_set_user_data(made, new Notification { this, timeout, inputOnly, m_now, kde });
    wl_resource_set_destructor(made, [](wl_resource* gone) {
        auto* state = static_cast<Notification*>(wl_resource_get_user_data(gone));
        auto& list = state->owner->m_notifications;
        list.erase(std::remove(list.begin(), list.end(), gone), list.end());
        delete state;
    });
    m_notifications.push_back(made);
}

void StandInIdleCompositor::makeNotification(
    wl_client* client, wl_resource* notifier, uint32_t id, uint32_t timeout, bool inputOnly)
{
    static const struct ext_idle_notification_v1_interface implementation = {
        [](wl_client*, wl_resource* made) { wl_resource_destroy(made); },
    };
    auto* compositor = static_cast<StandInIdleCompositor*>(wl_resource_get_user_data(notifier));
    wl_resource* made = wl_resource_create(
        client, &ext_idle_notification_v1_interface, wl_resource_get_version(notifier), id);
    wl_resource_set_implementation(made, &implementation, nullptr, nullptr);
    compositor->keep(made, timeout, inputOnly, false);
}

void StandInIdleCompositor::makeKdeTimeout(
    wl_client* client, wl_resource* idle, uint32_t id, uint32_t timeout)
{
    static const struct org_kde_kwin_idle_timeout_interface implementation = {
        [](wl_client*, wl_resource* made) { wl_resource_destroy(made); },
        [](wl_client*, wl_resource*) {},
    };
    auto* compositor = static_cast<StandInIdleCompositor*>(wl_resource_get_user_data(idle));
    wl_resource* made = wl_resource_create(client, &org_kde_kwin_idle_timeout_interface, 1, id);
    wl_resource_set_implementation(made, &implementation, nullptr, nullptr);
    compositor->keep(made, timeout, false, true);
}

void StandInIdleCompositor::bindKdeIdle(wl_client* client, void* data, uint32_t, uint32_t id)
{
    static const struct org_kde_kwin_idle_interface idle = {
        [](wl_client* client, wl_resource* resource, uint32_t newId, wl_resource*, uint32_t timeout) {
            makeKdeTimeout(client, resource, newId, timeout);
        },
    };
    wl_resource* resource = wl_resource_create(client, &org_kde_kwin_idle_interface, 1, id);
    wl_resource_set_implementation(resource, &idle, data, nullptr);
}

void StandInIdleCompositor::bindNotifier(wl_client* client, void* data, uint32_t version, uint32_t id)
{
    static const struct ext_idle_notifier_v1_interface notifier = {
        [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); },
        [](wl_client* client, wl_resource* resource, uint32_t newId, uint32_t timeout, wl_resource*) {
            makeNotification(client, resource, newId, timeout, false);
        },
        [](wl_client* client, wl_resource* resource, uint32_t newId, uint32_t timeout, wl_resource*) {
            makeNotification(client, resource, newId, timeout, true);
        },
    };
    wl_resource* resource
        = wl_resource_create(client, &ext_idle_notifier_v1_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(resource, &notifier, data, nullptr);
}
