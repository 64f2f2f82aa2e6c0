#include "platform/time/Clock.h"

#include "platform/time/Date.h"

#include <atomic>
#include <ctime>

namespace platform {

namespace {
SystemClock systemClock;
std::atomic<Clock*> sharedClock { nullptr };

double seconds(clockid_t id)
{
    timespec ts {};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
} // namespace

Date SystemClock::now() const
{
    return Date::fromUnixTime(seconds(CLOCK_REALTIME));
}

double SystemClock::systemUptime() const
{
    return seconds(CLOCK_MONOTONIC);
}

Clock& Clock::shared()
{
    Clock* clock = sharedClock.load(std::memory_order_acquire);
    return clock ? *clock : systemClock;
}

void Clock::setShared(Clock* clock)
{
    sharedClock.store(clock, std::memory_order_release);
}

} // namespace platform
