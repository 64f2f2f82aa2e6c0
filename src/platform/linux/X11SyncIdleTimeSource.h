#pragma once

#include "platform/desktop/IdleTimeSource.h"
#include "platform/linux/X11IdleCounter.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>

namespace platform {

// Idle events from the X server's IDLETIME counter (the SYNC extension). The server tells, rather
// than being asked: an alarm fires when the counter rises to the threshold (idle), and, while the
// user counts as away, another when it falls at the next input (active). Each carries the
// counter's value, so both moments are exact, and nothing wakes the application in between.
//
// Armed during a pause (a new threshold, a wake, the server back), the counter asked once says when
// the pause began: the break is seen at the threshold counted from the real last input, at once
// when that is past, and input since a given `idleSince` is told as `active` at once.
//
// The counter knows only "any input", so every event type gets the same figure: the counter
// asked now. A lost connection is logged, told as `changed`, and tried again every few seconds.
//
// Main-thread only.
class X11SyncIdleTimeSource final : public QObject, public IdleTimeSource {
    Q_OBJECT
public:
    // The threshold used until the engine says otherwise.
    static constexpr double defaultThreshold = 180;
    // The input alarm's value while the user is away: the input that ends a pause this long fires
    // it. Half the pause so far when that is shorter.
    static constexpr double inputAlarmSeconds = 2;
    // How often a lost server is looked for again.
    static constexpr int reconnectIntervalMs = 5000;

    // On the display named by $DISPLAY (or `displayName`); nothing when it cannot be opened or lacks
    // the IDLETIME counter (with the reason in `error`).
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
    void setReconnectInterval(int milliseconds) { m_reconnect.setInterval(milliseconds); }

private:
    explicit X11SyncIdleTimeSource(std::unique_ptr<X11IdleCounter> counter);
    void setAlarms();
    // Asks the counter once the alarms are set, and tells what it shows that no alarm will.
    void catchUp();
    void alarmFired(X11IdleCounter::Alarm alarm, std::int64_t value);
    void becameIdle(double since);
    void becameActive(double at);
    void lost(const std::string& why);
    void reconnect();

    std::unique_ptr<X11IdleCounter> m_counter;
    QTimer m_reconnect;
    double m_threshold = defaultThreshold;
    bool m_armed = true;
    // System uptime of the last input while the user is away.
    std::optional<double> m_idleSince;
    // Counts the armings, so that what one found is not told after the next.
    unsigned m_arming = 0;
    bool m_lost = false;
};

} // namespace platform
