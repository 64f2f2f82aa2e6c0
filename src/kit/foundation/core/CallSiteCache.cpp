#include "kit/foundation/core/CallSiteCache.h"

#include "platform/Logger.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace zk {

namespace {

using platform::Date;

constexpr Date distantPast(-63114076800.0);
constexpr double immediateSweepAge = 60;
constexpr double rescheduleSpacing = 2;
constexpr double delayedSweepDelay = 10;

Date now()
{
    return platform::Clock::shared().now();
}

bool isWithinLast(Date date, double seconds, Date reference)
{
    return reference.addingTimeInterval(-seconds) <= date && date <= reference;
}

// Waits on its own thread so that a sweep never holds up the caller; cancelling wakes it at once.
std::function<void()> startOnDetachedThread(double delaySeconds, std::function<void()> work)
{
    struct Pending {
        std::mutex mutex;
        std::condition_variable wake;
        bool cancelled = false;
    };
    auto pending = std::make_shared<Pending>();
    std::thread([pending, delaySeconds, work = std::move(work)] {
        {
            std::unique_lock lock(pending->mutex);
            pending->wake.wait_for(
                lock, std::chrono::duration<double>(delaySeconds), [&] { return pending->cancelled; });
            if (pending->cancelled) {
                return;
            }
        }
        work();
    }).detach();
    return [pending] {
        std::lock_guard lock(pending->mutex);
        pending->cancelled = true;
        pending->wake.notify_all();
    };
}

struct Throttle {
    std::mutex mutex;
    bool timedCacheCleanupToggle = true;
    Date lastTimedCacheCleanup = distantPast;
    Date lastTimedCacheCleanupSchedule = distantPast;
    std::function<void()> cancelTimedCacheCleanupTask;
    CallSiteCache::DelayedStarter starter;
};

// Never destroyed: a delayed sweep may still wake up while the process exits.
Throttle& throttle()
{
    static auto* instance = new Throttle();
    return *instance;
}

} // namespace

CallSiteCache::Store& CallSiteCache::timedCache()
{
    static auto* store = new Store();
    return *store;
}

std::optional<std::any> CallSiteCache::lookup(const AggregateHashable& key, double duration)
{
    auto entry = timedCache().get(key);
    if (!entry || !(entry->date.addingTimeInterval(duration) > now())) {
        return std::nullopt;
    }
    return std::move(entry->value);
}

void CallSiteCache::store(const AggregateHashable& key, std::any value)
{
    timedCache().set(key, TimedCacheEntry { now(), std::move(value) });
}

void CallSiteCache::setDelayedStarterForTesting(DelayedStarter starter)
{
    std::lock_guard lock(throttle().mutex);
    throttle().starter = std::move(starter);
}

void CallSiteCache::resetForTesting()
{
    timedCache().modify([](Store::Storage& storage) { storage.clear(); });
    Throttle& state = throttle();
    std::lock_guard lock(state.mutex);
    if (state.cancelTimedCacheCleanupTask) {
        state.cancelTimedCacheCleanupTask();
    }
    state.cancelTimedCacheCleanupTask = nullptr;
    state.timedCacheCleanupToggle = true;
    state.lastTimedCacheCleanup = distantPast;
    state.lastTimedCacheCleanupSchedule = distantPast;
}

void scheduleTimedCacheCleanup(double interval)
{
    Throttle& state = throttle();
    std::unique_lock lock(state.mutex);
    const bool wasOn = state.timedCacheCleanupToggle;
    state.timedCacheCleanupToggle = !wasOn;
    if (wasOn) {
        return;
    }

    const Date current = now();
    if (!isWithinLast(state.lastTimedCacheCleanup, immediateSweepAge, current)) {
        lock.unlock();
        cleanUpTimedCache(interval);
        return;
    }
    if (isWithinLast(state.lastTimedCacheCleanupSchedule, rescheduleSpacing, current)) {
        return;
    }
    if (state.cancelTimedCacheCleanupTask) {
        state.cancelTimedCacheCleanupTask();
    }
    auto work = [interval] {
        cleanUpTimedCache(interval);
        // A note for whoever debugs the caches; a normal run says nothing.
        platform::log(platform::LogLevel::Debug, platform::lcCore(), "CLEANUP");
    };
    state.cancelTimedCacheCleanupTask = state.starter
        ? state.starter(delayedSweepDelay, std::move(work))
        : startOnDetachedThread(delayedSweepDelay, std::move(work));
    state.lastTimedCacheCleanupSchedule = current;
}

void cleanUpTimedCache(double interval)
{
    auto& store = CallSiteCache::timedCache();
    // Find the expired entries in one read, so that lookups are held up only by the removal.
    std::vector<std::pair<AggregateHashable, Date>> expired
        = store.read([&](const CallSiteCache::Store::Storage& storage) {
              std::vector<std::pair<AggregateHashable, Date>> found;
              for (const auto& [key, entry] : storage) {
                  if (entry.date.addingTimeInterval(interval) < now()) {
                      found.emplace_back(key, entry.date);
                  }
              }
              return found;
          });
    if (!expired.empty()) {
        // An entry stored again since the read is fresh: it stays.
        store.modify([&](CallSiteCache::Store::Storage& storage) {
            for (const auto& [key, date] : expired) {
                auto found = storage.find(key);
                if (found != storage.end() && found->second.date == date) {
                    storage.erase(found);
                }
            }
        });
    }
    Throttle& state = throttle();
    std::lock_guard lock(state.mutex);
    state.lastTimedCacheCleanup = now();
}

} // namespace zk
