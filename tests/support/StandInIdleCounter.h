#pragma once

#include "platform/linux/X11IdleCounter.h"

#include <QObject>

#include <functional>
#include <optional>
#include <string>

namespace platform {
class Clock;
}

// An X server's IDLETIME counter as the SYNC extension keeps it, and its raw input events, on the
// test's clock. The counter is the milliseconds since the last input the test gave, or the last
// screen saver reset, which starts it again from 0 as input does; raw events come for input only.
// The alarm fires when the counter rises to its value and stays set for the next time; setting it
// when the counter is past it already fires nothing. What the server tells reaches the client
// through the event loop, as its events do, with the moment it happened. The server can go away
// (the connection breaks, the alarm and the watch with it) and come back.
class StandInIdleCounter final : public platform::X11IdleCounter {
public:
    explicit StandInIdleCounter(const platform::Clock& clock);

    bool connect(std::string* error) override;
    std::optional<std::int64_t> value() override;
    void setAlarm(std::int64_t milliseconds) override;
    void removeAlarm() override;
    void watchInput(bool watching) override;

    // Input at the clock's present.
    void input();
    // A program resets the screen saver at the clock's present (XResetScreenSaver, as `xset s reset`,
    // video players and browsers do): the counter starts again from 0, as after input.
    void resetScreenSaver();
    // The clock has reached its present: the alarm crossed on the way fires.
    void reach();
    // When the counter next rises to the alarm, on the clock's uptime.
    std::optional<double> nextCrossing() const;
    // The server goes away, or is back (with its counter where the user left it).
    void setRunning(bool running);
    // How often the client asked the counter.
    int questions() const { return m_questions; }
    bool isWatchingInput() const { return m_connected && m_watching; }

private:
    std::int64_t counterNow() const;
    // The counter starts again from 0.
    void restart();
    // Tells the client, from the event loop, of what happened at uptime `at`.
    void tell(double at, std::function<void(std::int64_t millisecondsAgo)> told);

    const platform::Clock& m_clock;
    QObject m_context;
    // When the counter last started from 0.
    double m_lastStart;
    bool m_running = true;
    bool m_connected = false;
    bool m_watching = false;
    std::optional<std::int64_t> m_alarm;
    // The counter when the alarm was last looked at.
    std::int64_t m_lastSeen = 0;
    int m_questions = 0;
};
