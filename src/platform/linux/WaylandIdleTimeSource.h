#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;

namespace platform {

// The idle time from a Wayland compositor that offers ext-idle-notify-v1 (KWin, sway, Hyprland,
// niri, COSMIC). The protocol tells no running figure: the compositor says "idled" once the seat
// has had no input for the notification's timeout, and "resumed" at the next input. So the
// notification is set to the idle threshold the session engine works with (setIdleThreshold()),
// and the source answers 0 until "idled", then the threshold plus the time since "idled". Every
// event type gets the same figure.
//
// The compositor's events are read on the main thread as they arrive (a socket notifier on the
// display's connection); nothing ever waits for the compositor after open(). A lost connection is
// logged once and leaves the source answering 0, as an unavailable source does.
//
// Main-thread only.
class WaylandIdleTimeSource final : public QObject, public IdleTimeSource {
    Q_OBJECT
public:
    // The threshold used until the engine says otherwise.
    static constexpr double defaultThreshold = 180;

    // Connects to the compositor named by WAYLAND_DISPLAY (or `displayName`) and waits for its
    // list of globals; nothing when there is no compositor, or it lacks ext_idle_notifier_v1 or a
    // seat (with the reason in `error`).
    static std::unique_ptr<WaylandIdleTimeSource> open(
        const char* displayName = nullptr, std::string* error = nullptr);
    ~WaylandIdleTimeSource() override;

    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return "Wayland ext-idle-notify-v1"; }
    // Renews the compositor's notification with this timeout (whole milliseconds, at least one).
    void setIdleThreshold(double seconds) override;

    double idleThreshold() const { return m_threshold; }
    bool isIdle() const { return m_idledAtUptime >= 0; }

private:
    WaylandIdleTimeSource(wl_display* display);
    bool bindGlobals(std::string* error);
    void createNotification();
    void readEvents();
    void lost(const std::string& why);

    static void onGlobal(
        void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void onIdled(void* data, ext_idle_notification_v1* notification);
    static void onResumed(void* data, ext_idle_notification_v1* notification);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    ext_idle_notifier_v1* m_notifier = nullptr;
    ext_idle_notification_v1* m_notification = nullptr;
    std::unique_ptr<QSocketNotifier> m_readable;
    double m_threshold = defaultThreshold;
    // System uptime at "idled"; negative while the user is active.
    double m_idledAtUptime = -1;
    bool m_lost = false;
};

} // namespace platform
