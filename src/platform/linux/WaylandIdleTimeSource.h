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

// Idle events from a Wayland compositor that offers ext-idle-notify (KWin, sway, Hyprland, niri,
// COSMIC). The protocol tells no running figure: the compositor says "idled" once the seat has had
// no input for a notification's timeout, and "resumed" at the next input. So the notification's
// timeout is the engine's threshold (armWatches()). Every event type gets the same figure, for
// diagnostics: the time since the last input once a pause is known, else 0.
//
// A compositor counts a new notification's timeout from its creation, and sends "resumed" only
// after "idled". A notification made anew during a pause (a new threshold, a wake, a compositor
// back) would therefore date the last input at its creation, and one with a raised threshold could
// miss the break. A second notification with a short timeout, kept across armings, marks when
// each pause began (its "idled" comes that timeout after the last input) and its "resumed" is the
// next input, also while the user is away. Armed during a pause, the threshold notification counts
// only what is left of the threshold, and is renewed whole at the next input.
//
// Version 2 of the protocol counts input alone (input-idle notifications); version 1's
// notifications stay silent while another client inhibits idle (a video playing), so there a
// break taken then is not seen, which is logged once.
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
    // The timeout of the notification that marks when a pause began.
    static constexpr double pauseMarkSeconds = 2;
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
    // Whether the compositor's notifications count input alone (version 2), whatever inhibits idle.
    bool countsInputAlone() const { return m_notifierVersion >= 2; }

private:
    WaylandIdleTimeSource(std::optional<std::string> displayName);
    bool connectToCompositor(std::string* error);
    void disconnect();
    void createNotifications();
    // The threshold notification; during a pause, with what is left of the threshold.
    void createThresholdNotification();
    ext_idle_notification_v1* makeNotification(double timeoutSeconds);
    void destroyNotifications();
    void readEvents();
    void lost(const std::string& why);
    void reconnect();
    void idled();
    void resumed();
    void pauseBegan();
    void becameIdle(double since);

    static void onGlobal(
        void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void onIdled(void* data, ext_idle_notification_v1* notification);
    static void onResumed(void* data, ext_idle_notification_v1* notification);
    static void onPauseMarked(void* data, ext_idle_notification_v1* notification);

    const std::optional<std::string> m_displayName;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    ext_idle_notifier_v1* m_notifier = nullptr;
    ext_idle_notification_v1* m_notification = nullptr;
    ext_idle_notification_v1* m_pauseMark = nullptr;
    uint32_t m_notifierVersion = 0;
    // The timeout of the threshold notification, when it is less than the threshold.
    std::optional<double> m_shortenedTimeout;
    // System uptime of the last input, while a pause is known.
    std::optional<double> m_pauseSince;
    bool m_loggedVersion1 = false;
    std::unique_ptr<QSocketNotifier> m_readable;
    QTimer m_reconnect;
    double m_threshold = defaultThreshold;
    bool m_armed = true;
    // System uptime of the last input while the user is away.
    std::optional<double> m_idleSince;
    bool m_lost = false;
};

} // namespace platform
