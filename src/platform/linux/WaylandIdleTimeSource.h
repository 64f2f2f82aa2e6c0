#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

struct wl_display;
struct wl_proxy;
struct wl_registry;
struct wl_seat;

namespace platform {

// Idle events from a Wayland compositor, through either of the two idle protocols compositors
// offer: ext-idle-notify (KWin, sway 1.8 on, Hyprland, niri, COSMIC) or KDE's older
// org_kde_kwin_idle (wlroots compositors of Debian 12's age such as sway 1.7, and KWin), which
// says the same things. Neither tells a running figure: the compositor says "idle" once the seat
// has had no input for a notification's timeout, and "resumed" at the next input. So the
// notification's timeout is the engine's threshold (armWatches()). Every event type gets the same
// figure, for diagnostics: the time since the last input once a pause is known, else 0.
//
// A compositor counts a new notification's timeout from its creation, and sends "resumed" only
// after "idle". A notification made anew during a pause (a new threshold, a wake, a compositor
// back) would therefore date the last input at its creation, and one with a raised threshold could
// miss the break. A second notification with a short timeout, kept across armings, marks when
// each pause began (its "idle" comes that timeout after the last input) and its "resumed" is the
// next input, also while the user is away. Armed during a pause, the threshold notification counts
// only what is left of the threshold, and is renewed whole at the next input.
//
// Nor does a compositor tell anything of the input before the client came. A user who gives none
// in the first moments after the source opens (the application started while they are away)
// counts as away since it opened, once the mark says so: a session that enabling started is then
// ended at once, rather than a whole threshold later.
//
// Version 2 of ext-idle-notify counts input alone (input-idle notifications); its version 1 and
// org_kde_kwin_idle stay silent while another client inhibits idle (a video playing), so there a
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
    // How late after its timeout the mark's first "idle" may come and still say that there was no
    // input since the source opened: the compositor's timer and this event loop, on a loaded machine.
    static constexpr double openingMarkLatency = 2;
    // How often a lost compositor is looked for again.
    static constexpr int reconnectIntervalMs = 5000;

    enum class Protocol { extIdleNotify, kdeIdle };

    // Connects to the compositor named by WAYLAND_DISPLAY (or `displayName`) and waits for its
    // list of globals; nothing when there is no compositor, or it lacks the protocol's global or a
    // seat (with the reason in `error`).
    static std::unique_ptr<WaylandIdleTimeSource> open(const char* displayName = nullptr,
        std::string* error = nullptr, Protocol protocol = Protocol::extIdleNotify);
    ~WaylandIdleTimeSource() override;

    Kind kind() const override { return Kind::thresholdEvents; }
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override;
    // Renews the compositor's notification with this timeout (whole milliseconds, at least one).
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return !m_lost; }

    double idleThreshold() const { return m_threshold; }
    void setReconnectInterval(int milliseconds) { m_reconnect.setInterval(milliseconds); }
    bool isIdle() const { return m_idleSince.has_value(); }
    // Whether the compositor's notifications count input alone (version 2), whatever inhibits idle.
    bool countsInputAlone() const { return m_protocol == Protocol::extIdleNotify && m_notifierVersion >= 2; }

private:
    WaylandIdleTimeSource(std::optional<std::string> displayName, Protocol protocol);
    bool connectToCompositor(std::string* error);
    void disconnect();
    void createNotifications();
    // The threshold notification; during a pause, with what is left of the threshold.
    void createThresholdNotification();
    // A notification of the protocol's own, telling this source's `Events`.
    template <typename Events> wl_proxy* makeNotification(double timeoutSeconds);
    void destroyNotification(wl_proxy*& notification);
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
    template <typename Notification> static void onIdled(void* data, Notification* notification);
    template <typename Notification> static void onResumed(void* data, Notification* notification);
    template <typename Notification> static void onPauseMarked(void* data, Notification* notification);
    struct ThresholdEvents;
    struct MarkEvents;

    const std::optional<std::string> m_displayName;
    const Protocol m_protocol;
    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    // The protocol's notifier global and notifications.
    wl_proxy* m_notifier = nullptr;
    wl_proxy* m_notification = nullptr;
    wl_proxy* m_pauseMark = nullptr;
    uint32_t m_notifierVersion = 0;
    // System uptime when the mark was made.
    double m_pauseMarkMadeAt = 0;
    // Until the first input or pause is known, nothing is known of the input since the source opened.
    bool m_openedUnseen = true;
    // The timeout of the threshold notification, when it is less than the threshold.
    std::optional<double> m_shortenedTimeout;
    // System uptime of the last input, while a pause is known.
    std::optional<double> m_pauseSince;
    bool m_loggedInhibitable = false;
    std::unique_ptr<QSocketNotifier> m_readable;
    QTimer m_reconnect;
    double m_threshold = defaultThreshold;
    bool m_armed = true;
    // System uptime of the last input while the user is away.
    std::optional<double> m_idleSince;
    bool m_lost = false;
};

} // namespace platform
