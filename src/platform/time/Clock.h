#pragma once

namespace platform {

struct Date;

// Wall time and system uptime. Uptime does not advance while the machine sleeps, which is what
// lets a session's start survive a clock change but not a suspend.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
    // Seconds since boot on CLOCK_MONOTONIC.
    virtual double systemUptime() const = 0;

    // The clock the application uses; tests install a fake with setShared().
    static Clock& shared();
    static void setShared(Clock* clock); // nullptr restores the system clock
};

class SystemClock final : public Clock {
public:
    Date now() const override;
    double systemUptime() const override;
};

} // namespace platform
