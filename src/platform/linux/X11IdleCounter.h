#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// The X server as X11SyncIdleTimeSource sees it: the IDLETIME counter (the SYNC extension's
// milliseconds since the last input of any device) with an alarm on it, and the raw input events
// (XInput 2) of the keyboard, pointer and touch screens.
//
// The counter starts again from 0 at input, but also whenever a program resets the screen saver
// (XResetScreenSaver: video players, browsers playing video and `xdg-screensaver reset` do, every
// few seconds), and at a pointer warp; only the raw events are input alone. They come with every
// motion, so they are watched only while wanted, and the counter's alarm says when that is.
class X11IdleCounter {
public:
    // The alarm fired: the counter rose to its value, which it had at that moment.
    // `millisecondsAgo` is how long before the handler was called.
    using FiredHandler = std::function<void(std::int64_t value, std::int64_t millisecondsAgo)>;
    // Real input while input is watched: a key or button (the wheel's too) pressed, the pointer
    // moved, a touch begun, `millisecondsAgo` before the handler was called.
    using InputHandler = std::function<void(std::int64_t millisecondsAgo)>;
    // The connection to the server is gone, with why; the alarm and the watch went with it.
    using LostHandler = std::function<void(const std::string&)>;

    virtual ~X11IdleCounter() = default;

    // Connects to the server, again after a loss; false (with the reason in `error`) when it does
    // not answer, lacks the counter or lacks raw input events.
    virtual bool connect(std::string* error) = 0;
    // The counter now, in milliseconds; nothing when the server did not answer.
    virtual std::optional<std::int64_t> value() = 0;
    // Sets the alarm at `milliseconds` (made, or moved when set already): it fires each time the
    // counter rises to the value, not when it is past it already.
    virtual void setAlarm(std::int64_t milliseconds) = 0;
    virtual void removeAlarm() = 0;
    // Starts or stops watching input. Input is told from the moment the server has the request,
    // which the next value() waits for.
    virtual void watchInput(bool watching) = 0;

    void setHandlers(FiredHandler fired, InputHandler input, LostHandler lost)
    {
        m_fired = std::move(fired);
        m_input = std::move(input);
        m_lost = std::move(lost);
    }

protected:
    void fired(std::int64_t value, std::int64_t millisecondsAgo) const
    {
        if (m_fired) {
            m_fired(value, millisecondsAgo);
        }
    }
    void input(std::int64_t millisecondsAgo) const
    {
        if (m_input) {
            m_input(millisecondsAgo);
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
    InputHandler m_input;
    LostHandler m_lost;
};

} // namespace platform
