#pragma once

#include "platform/desktop/IdleTimeSource.h"
#include "platform/desktop/PolledIdleEvents.h"
#include "platform/fake/FakeClock.h"

#include <functional>
#include <optional>

namespace platform::fake {

// A user at a desktop whose idle time comes from one backend, on the fake clock. The test says
// when the user gives input and lets time pass; the backend answers and tells what the real one
// tells, at the moments it would:
// - x11: an exact running figure (MIT-SCREEN-SAVER), no events.
// - mutter: IdleMonitor watches. The idle watch fires once the last input is the threshold ago
//   (at once when armed later than that); the exact idle time asked for when armed tells a user
//   away already; a user-active watch, set while away, fires at the next input.
// - extIdleNotify: a compositor that counts a notification's timeout from its creation or the last
//   input, whichever is later, sends "idled" then, and "resumed" at the next input after "idled"
//   only; armed while the user is away, a 2 s notification stands by for the return. Reads 0
//   until "idled".
// - screenSaver: GetSessionIdleTime in whole seconds, asked when due (PolledIdleEvents): the
//   return is seen only at the next question while away.
class FakeDesktopIdle final : public IdleTimeSource {
public:
    enum class Protocol { x11, mutter, extIdleNotify, screenSaver };

    FakeDesktopIdle(FakeClock& clock, Protocol protocol);

    static const char* toString(Protocol protocol);

    // --- The user and the machine

    // Input now.
    void input();
    // Lets `seconds` pass, stopping at every moment the backend tells something and calling
    // `tick` at every whole second since the last call (the engine's one-second tick).
    void advance(double seconds, const std::function<void()>& tick);
    // The backend stops answering, or is back; either is told as `changed`.
    void setAvailable(bool available);
    int armings() const { return m_armings; }
    double lastInput() const { return m_lastInput; }

    // --- IdleTimeSource

    Kind kind() const override;
    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return std::string("fake ") + toString(m_protocol); }
    void armWatches(double thresholdSeconds, std::optional<double> idleSince) override;
    void disarmWatches() override;
    bool isAvailable() const override { return m_available; }

private:
    struct Notification {
        double timeout;
        double created;
        bool idled = false;
        double dueAt(double lastInput) const { return std::max(created, lastInput) + timeout; }
    };

    double now() const { return m_clock.systemUptime(); }
    // The next moment the backend tells or asks something, if any.
    std::optional<double> nextMoment() const;
    // Does what falls due now.
    void runDue();
    void becameIdle(double since);
    void becameActive();

    FakeClock& m_clock;
    const Protocol m_protocol;
    double m_lastInput;
    double m_nextTick;
    bool m_available = true;
    bool m_armed = false;
    int m_armings = 0;
    double m_threshold = 600;
    std::optional<double> m_idleSince;
    // mutter
    bool m_idleWatchFired = false;
    bool m_activeWatch = false;
    // extIdleNotify
    std::optional<Notification> m_notification;
    std::optional<Notification> m_returnProbe;
    // screenSaver
    PolledIdleEvents m_polled { 1.0 };
};

} // namespace platform::fake
