#pragma once

#include "platform/desktop/IdleTimeSource.h"
#include "platform/linux/X11IdleCounter.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Idle events from the X server, which tells rather than being asked, so that nothing wakes the
// application while the user is away.
//
// Its IDLETIME counter (the SYNC extension) cannot be taken at its word: programs that reset the
// screen saver (video players, browsers playing video, `xdg-screensaver reset`, every few seconds)
// start it again from 0 as input does, so a break would never be seen, and a reset during it would
// be taken for the user's return. Real input is told by XInput 2's raw events, which come with
// every pointer motion and so are watched only during a pause: an alarm on the counter says when
// it has risen to a short pause mark, from which on input is watched, until the first input. The
// pause began at the counter's start, which is the last input unless a reset came within the mark
// after it. While input is watched, the threshold counted from there says the user is away (a timer
// of this source's), and the first input that the user is back, whatever resets come meanwhile.
// Should resets come faster than the mark, input is watched again a few seconds after it was last
// seen anyway.
//
// Armed (a new threshold, a wake, the server back), input is watched at once, from the counter's
// start: the break is seen at the threshold counted from there, at once when that is past, and
// input since a given `idleSince` is told as `active` at once.
//
// The server knows only "any input", so every event type gets the same figure. A lost connection
// is logged, told as `changed`, and tried again every few seconds.
//
// Main-thread only.
class X11SyncIdleTimeSource final : public QObject, public IdleTimeSource {
    Q_OBJECT
public:
    // The threshold used until the engine says otherwise.
    static constexpr double defaultThreshold = 180;
    // How long a pause in input is before input is watched; half the threshold when that is
    // shorter. Resets within it after the last input date the pause from the reset.
    static constexpr double pauseMarkSeconds = 0.5;
    // How long after the last input seen input is watched again even though the counter never
    // reached the pause mark: resets that come faster than it.
    static constexpr double unwatchedSeconds = 5;
    // How often a lost server is looked for again.
    static constexpr int reconnectIntervalMs = 5000;

    // On the display named by $DISPLAY (or `displayName`); nothing when it cannot be opened or lacks
    // the IDLETIME counter or raw input events (with the reason in `error`).
    static std::unique_ptr<X11SyncIdleTimeSource> open(
        const char* displayName = nullptr, std::string* error = nullptr);
    // Over a counter of the caller's own, connected here; nothing when it does not connect.
    static std::unique_ptr<X11SyncIdleTimeSource> withCounter(
        std::unique_ptr<X11IdleCounter> counter, std::string* error = nullptr);
    ~X11SyncIdleTimeSource() override;

    Kind kind() const override { return Kind::thresholdEvents; }
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return "X11 SYNC IDLETIME"; }
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return !m_lost; }

    double idleThreshold() const { return m_threshold; }
    bool isIdle() const { return m_idleSince.has_value(); }
    // Whether input is watched now.
    bool isWatchingInput() const { return m_pauseSince.has_value(); }
    void setReconnectInterval(int milliseconds) { m_reconnect.setInterval(milliseconds); }
    // The uptime at which this source's timer falls due, and what it does then (the timer calls it;
    // before that moment it only sets the timer again).
    std::optional<double> nextTimeoutAt() const { return m_timeoutAt; }
    void timeout();

private:
    explicit X11SyncIdleTimeSource(std::unique_ptr<X11IdleCounter> counter);
    // Watches input from now on; the pause began at the counter's start. False when the server
    // did not answer.
    bool watch();
    // The first input after the last one seen, `at`.
    void inputSeen(double at);
    void alarmFired(std::int64_t value, std::int64_t millisecondsAgo);
    // While input is watched, tells the break once the threshold has passed since the pause
    // began, or sets the timer for it.
    void followPause();
    // Input is no longer watched: the alarm waits for the next pause, and the timer in case the
    // counter never gets there.
    void awaitPause(double lastInput);
    void setTimeout(std::optional<double> at);
    void becameIdle(double since);
    void lost(const std::string& why);
    void reconnect();
    // Runs `step` from the event loop, as the server's events are told: never while the engine is
    // arming, and not at all when it arms again first.
    void later(std::function<void()> step);
    double pauseMark() const;

    std::unique_ptr<X11IdleCounter> m_counter;
    QTimer m_reconnect;
    QTimer m_timer;
    std::optional<double> m_timeoutAt;
    double m_threshold = defaultThreshold;
    bool m_armed = true;
    // While input is watched, the uptime of the last input.
    std::optional<double> m_pauseSince;
    // System uptime of the last input while the user is away.
    std::optional<double> m_idleSince;
    // Counts the armings, so that what one found is not told after the next.
    unsigned m_arming = 0;
    bool m_lost = false;
};

} // namespace platform
