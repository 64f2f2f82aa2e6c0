#include "platform/time/Clock.h"

#include "platform/linux/ClockChangeWatch.h"
#include "platform/time/Date.h"

#include <atomic>
#include <ctime>
#include <map>
#include <vector>

namespace platform {

namespace {
SystemClock systemClock;
std::atomic<Clock*> sharedClock { nullptr };

// Main-thread only.
struct ChangeObservers {
    std::map<Clock::ChangeObserverId, std::function<void()>> observers;
    Clock::ChangeObserverId lastId = 0;
};
ChangeObservers& changeObservers()
{
    static ChangeObservers observers;
    return observers;
}

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

Clock::ChangeObserverId Clock::addChangeObserver(std::function<void()> observer)
{
    auto& registry = changeObservers();
    const ChangeObserverId id = ++registry.lastId;
    registry.observers.emplace(id, std::move(observer));
    shared().watchChanges();
    return id;
}

void Clock::removeChangeObserver(ChangeObserverId id)
{
    changeObservers().observers.erase(id);
}

void Clock::tellChange() const
{
    if (&shared() != this) {
        return;
    }
    // An observer may add or remove observers; those removed meanwhile are not called.
    const auto& observers = changeObservers().observers;
    std::vector<ChangeObserverId> ids;
    ids.reserve(observers.size());
    for (const auto& entry : observers) {
        ids.push_back(entry.first);
    }
    for (const ChangeObserverId id : ids) {
        if (const auto found = observers.find(id); found != observers.end()) {
            auto observer = found->second;
            observer();
        }
    }
}

void SystemClock::watchChanges()
{
    ClockChangeWatch::ensureForSystemClock([this] { didChange(); });
}

} // namespace platform
