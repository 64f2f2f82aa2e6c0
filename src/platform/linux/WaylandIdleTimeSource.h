#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;

namespace platform {

// Idle events from a Wayland compositor that offers ext-idle-notify-v1 (KWin, sway, Hyprland,
// niri, COSMIC). The protocol tells no running figure: the compositor says "idled" once the seat
// has had no input for the notification's timeout, and "resumed" at the next input. So the
// notification's timeout is the engine's threshold (armWatches()), and "idled" means "idle since
// the threshold ago". Every event type gets the same figure, for diagnostics: 0 until "idled",
// then the time since the last input.
//
// A compositor counts a new notification's timeout from its creation and sends "resumed" only
// after "idled". When armed while the user is already away, a second notification with a short
// timeout therefore stands by: it idles within seconds of the user being gone, and its "resumed"
// is the next input.
//
// The compositor's events are read on the main thread as they arrive (a socket notifier on the
// display's connection); nothing ever waits for the compositor after open(). A lost connection is
// logged, told as `changed`, and tried again every few seconds; a compositor that is back (a
// restart) is told as `changed` too.
//
// Main-thread only.
class WaylandIdleTimeSource final : public QObject, public IdleTimeSource {
    Q_OBJECT
public:
    // The threshold used until the engine says otherwise.
    static constexpr double defaultThreshold = 180;
    // The timeout of the notification that waits for the user's return.
    static constexpr double returnProbeSeconds = 2;
    // How often a lost compositor is looked for again.
    static constexpr int reconnectIntervalMs = 5000;

    // Connects to the compositor named by WAYLAND_DISPLAY (or `displayName`) and waits for its
    // list of globals; nothing when there is no compositor, or it lacks ext_idle_notifier_v1 or a
    // seat (with the reason in `error`).
    static std::unique_ptr<WaylandIdleTimeSource> open(
        const char* displayName = nullptr, std::string* error = nullptr);
    ~WaylandIdleTimeSource() override;

    Kind kind() const override { return Kind::thresholdEvents; }
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return "Wayland ext-idle-notify-v1"; }
    // Renews the compositor's notification with this timeout (whole milliseconds, at least one).
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return !m_lost; }

    double idleThreshold() const { return m_threshold; }
    void setReconnectInterval(int milliseconds) { m_reconnect.setInterval(milliseconds); }
    bool isIdle() const { return m_idleSince.has_value(); }
    // Whether the notification that waits for the user's return is alive.
    bool isWaitingForReturn() const { return m_returnProbe != nullptr; }

private:
    WaylandIdleTimeSource(std::optional<std::string> displayName);
    bool connectToCompositor(std::string* error);
    void disconnect();
    void createNotifications();
    void destroyNotifications();
    void readEvents();
    void lost(const std::string& why);
    void reconnect();
    void idled();
    void resumed();

    static void onGlobal(
        void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void onIdled(void* data, ext_idle_notification_v1* notification);
    static void onResumed(void* data, ext_idle_notification_v1* notification);
    static void onProbeIdled(void* data, ext_idle_notification_v1* notification);

    const std::optional<std::string> m_displayName;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    ext_idle_notifier_v1* m_notifier = nullptr;
    ext_idle_notification_v1* m_notification = nullptr;
    ext_idle_notification_v1* m_returnProbe = nullptr;
    std::unique_ptr<QSocketNotifier> m_readable;
    QTimer m_reconnect;
    double m_threshold = defaultThreshold;
    bool m_armed = true;
    // System uptime of the last input while the user is away.
    std::optional<double> m_idleSince;
    bool m_lost = false;
};

} // namespace platform
