#pragma once

#include <cstdint>
#include <functional>

namespace platform {

struct Date;

// Wall time and system uptime. Uptime does not advance while the machine sleeps, which is what
// lets a session's start survive a clock change but not a suspend.
//
// The wall clock can also jump: it is set by hand or by time synchronisation, it leaps forward at
// a wake from suspend, and the machine's time zone can change under it. What was worked out from
// the date or the zone (when today ends, which day a moment falls on) must then be worked out
// again; the shared clock tells its change observers.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
    // Seconds since boot on CLOCK_MONOTONIC.
    virtual double systemUptime() const = 0;

    // The clock the application uses; tests install a fake with setShared().
    static Clock& shared();
    static void setShared(Clock* clock); // nullptr restores the system clock

    using ChangeObserverId = std::uint64_t;
    // Runs `observer` on the main thread after each jump of the shared clock's wall time and each
    // change of the machine's time zone (TimeZone::current() answers the new zone by then). The
    // system clock watches the machine from the first observer on, once the QCoreApplication
    // exists. Main-thread only, as are the two below.
    static ChangeObserverId addChangeObserver(std::function<void()> observer);
    static void removeChangeObserver(ChangeObserverId id);

protected:
    // Tells the change observers, when this clock is the shared one.
    void tellChange() const;
    // Called when the first change observer comes: the clock starts watching for changes.
    virtual void watchChanges() { }
};

class SystemClock final : public Clock {
public:
    Date now() const override;
    double systemUptime() const override;
    // The machine's wall clock jumped or its zone changed; called by the Linux watch.
    void didChange() const { tellChange(); }

protected:
    void watchChanges() override;
};

} // namespace platform
