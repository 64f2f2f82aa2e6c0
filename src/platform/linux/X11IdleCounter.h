#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// The X server's IDLETIME counter (the SYNC extension's milliseconds since the last input of any
// device) and the two alarms X11SyncIdleTimeSource keeps on it. The server fires an alarm when the
// counter crosses its value, and says what the counter was then.
class X11IdleCounter {
public:
    enum class Alarm {
        // Fires each time the counter rises to its value: the user has had no input for that long.
        threshold,
        // Fires each time the counter falls to its value from above: input after a pause longer
        // than it.
        input,
    };
    // An alarm fired, with the counter's value when it did, in milliseconds.
    using FiredHandler = std::function<void(Alarm, std::int64_t)>;
    // The connection to the server is gone, with why; the alarms went with it.
    using LostHandler = std::function<void(const std::string&)>;

    virtual ~X11IdleCounter() = default;

    // Connects to the server, again after a loss; false (with the reason in `error`) when it does
    // not answer or lacks the counter.
    virtual bool connect(std::string* error) = 0;
    // The counter now, in milliseconds; nothing when the server did not answer.
    virtual std::optional<std::int64_t> value() = 0;
    // Sets the alarm at `milliseconds` (made, or moved when set already).
    virtual void setAlarm(Alarm alarm, std::int64_t milliseconds) = 0;
    virtual void removeAlarm(Alarm alarm) = 0;

    void setHandlers(FiredHandler fired, LostHandler lost)
    {
        m_fired = std::move(fired);
        m_lost = std::move(lost);
    }

protected:
    void fired(Alarm alarm, std::int64_t value) const
    {
        if (m_fired) {
            m_fired(alarm, value);
        }
    }
    void lost(const std::string& why) const
    {
        if (m_lost) {
            m_lost(why);
        }
    }

private:
    FiredHandler m_fired;
    LostHandler m_lost;
};

} // namespace platform
