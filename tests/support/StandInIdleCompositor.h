#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct wl_client;
struct wl_display;
struct wl_resource;

// A Wayland compositor of the test's own, as an idle client sees one: a seat and, at version 1 or
// 2, ext_idle_notifier_v1, and perhaps KDE's org_kde_kwin_idle, on a socket in $XDG_RUNTIME_DIR. Its time is
// the test's: it knows what the test says of input and of the clock, and sends "idled" to every notification
// whose timeout has passed since the later of its creation and the last input, and "resumed" at the next
// input to those that said "idled". While idle is inhibited, notifications made with get_idle_notification or
// org_kde_kwin_idle stay silent; input-idle notifications (version 2) do not. It serves its clients from a
// thread of its own; every call returns once the events it causes are on their way.
class StandInIdleCompositor {
public:
    // `notifierVersion` 0 offers no ext_idle_notifier_v1. `now`: the test's uptime at the start.
    StandInIdleCompositor(const char* socket, uint32_t notifierVersion, double now = 0, bool kdeIdle = false);
    ~StandInIdleCompositor();

    bool isListening() const { return m_listening; }
    // Ends the compositor: its clients' connections break.
    void stop();

    // Input at the test's uptime `at`.
    void input(double at);
    // The test's clock has reached `now`. A test that lets time pass stops its clock at each
    // nextIdledAt() on the way, as the client reads the time when "idled" arrives.
    void advanceTo(double now);
    // When the next "idled" falls due, if one will.
    std::optional<double> nextIdledAt();
    // Another client inhibits idle, or lets go, at `now`.
    void setIdleInhibited(bool inhibited, double now);

    struct Live {
        uint32_t timeoutMs;
        bool inputOnly;
        bool operator==(const Live&) const = default;
    };
    // The notifications alive now, shortest timeout first.
    std::vector<Live> live();
    std::vector<uint32_t> liveTimeouts();

private:
    struct Notification {
        StandInIdleCompositor* owner;
        uint32_t timeoutMs;
        bool inputOnly;
        double created;
        bool kde;
        bool idled = false;
    };

    // Runs `command` on the compositor's thread, after the requests already sent to it.
    void perform(std::function<void()> command);
    void serve();
    void sendDue();
    std::optional<double> dueAt(wl_resource* resource) const;
    static void bindSeat(wl_client* client, void* data, uint32_t version, uint32_t id);
    static void bindNotifier(wl_client* client, void* data, uint32_t version, uint32_t id);
    static void bindKdeIdle(wl_client* client, void* data, uint32_t version, uint32_t id);
    static void makeNotification(
        wl_client* client, wl_resource* notifier, uint32_t id, uint32_t timeout, bool inputOnly);
    static void makeKdeTimeout(wl_client* client, wl_resource* idle, uint32_t id, uint32_t timeout);
    void keep(wl_resource* made, uint32_t timeout, bool inputOnly, bool kde);
    static void sendIdled(wl_resource* resource);
    static void sendResumed(wl_resource* resource);

    wl_display* m_display = nullptr;
    bool m_listening = false;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<std::function<void()>> m_commands;
    std::size_t m_queued = 0;
    std::size_t m_performed = 0;
    // Written to wake the compositor's thread for a command.
    int m_wake = -1;
    // The compositor thread's own.
    std::vector<wl_resource*> m_notifications;
    double m_now;
    double m_lastInput;
    double m_uninhibitedAt;
    bool m_inhibited = false;
};
