#pragma once

#include "platform/time/Clock.h"
#include "platform/time/Date.h"
#include "platform/time/TimeZone.h"

namespace platform::fake {

// A clock that moves only when told; advance() moves wall time and uptime together, as a running
// machine does, while sleep() moves wall time alone, as a suspended one does. A wake from sleep,
// step() (the clock set by hand or by time synchronisation) and changeTimeZone() tell the change
// observers, as the machine does; setNow() and setUptime() only put the clock somewhere.
class FakeClock final : public Clock {
public:
    explicit FakeClock(Date now = Date(700000000.0), double uptime = 1000.0)
        : m_now(now)
        , m_uptime(uptime)
    {
    }

    Date now() const override { return m_now; }
    double systemUptime() const override { return m_uptime; }

    void advance(double seconds)
    {
        m_now = m_now.addingTimeInterval(seconds);
        m_uptime += seconds;
    }
    void sleep(double seconds)
    {
        m_now = m_now.addingTimeInterval(seconds);
        tellChange();
    }
    void step(double seconds)
    {
        m_now = m_now.addingTimeInterval(seconds);
        tellChange();
    }
    void changeTimeZone(const TimeZone& zone)
    {
        TimeZone::setCurrentForTesting(zone);
        tellChange();
    }
    void setNow(Date now) { m_now = now; }
    void setUptime(double uptime) { m_uptime = uptime; }

private:
    Date m_now;
    double m_uptime;
};

// Installs a fake as the shared clock for the lifetime of a test.
class ScopedFakeClock {
public:
    explicit ScopedFakeClock(Date now = Date(700000000.0), double uptime = 1000.0)
        : clock(now, uptime)
    {
        Clock::setShared(&clock);
    }
    ~ScopedFakeClock() { Clock::setShared(nullptr); }
    FakeClock clock;
};

} // namespace platform::fake
