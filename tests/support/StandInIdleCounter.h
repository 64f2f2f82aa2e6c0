#pragma once

#include "platform/linux/X11IdleCounter.h"

#include <QObject>

#include <array>
#include <optional>
#include <string>

namespace platform {
class Clock;
}

// An X server's IDLETIME counter as the SYNC extension keeps it, on the test's clock: the
// milliseconds since the last input the test gave. An alarm fires when the counter crosses its value
// the way its kind says (rising to it, or falling to it from above) and stays set for the next
// crossing; setting an alarm the counter is past already fires nothing. What fires reaches the
// client through the event loop, as the server's events do. The server can go away (the connection
// breaks, the alarms with it) and come back.
class StandInIdleCounter final : public platform::X11IdleCounter {
public:
    explicit StandInIdleCounter(const platform::Clock& clock);

    bool connect(std::string* error) override;
    std::optional<std::int64_t> value() override;
    void setAlarm(Alarm alarm, std::int64_t milliseconds) override;
    void removeAlarm(Alarm alarm) override;

    // Input at the clock's present.
    void input();
    // The clock has reached its present: a threshold crossed on the way fires.
    void reach();
    // When the counter next rises to a set alarm, on the clock's uptime.
    std::optional<double> nextCrossing() const;
    // The server goes away, or is back (with its counter where the user left it).
    void setRunning(bool running);
    // How often the client asked the counter.
    int questions() const { return m_questions; }

private:
    std::int64_t counterNow() const;
    void fire(Alarm alarm, std::int64_t value);

    const platform::Clock& m_clock;
    QObject m_context;
    double m_lastInput;
    bool m_running = true;
    bool m_connected = false;
    // Per alarm: its value, if set.
    std::array<std::optional<std::int64_t>, 2> m_alarms;
    // The counter when the threshold alarm was last looked at.
    std::int64_t m_lastSeen = 0;
    int m_questions = 0;
};
