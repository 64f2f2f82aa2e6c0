#pragma once

#include "kit/foundation/core/AggregateHashable.h"
#include "kit/foundation/core/AtomicDictionary.h"
#include "platform/time/Date.h"

#include "platform/SourceLocation.h"
#include <any>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace zk {

// One memoised result and the moment it was stored.
struct TimedCacheEntry {
    platform::Date date;
    std::any value;
};

// The process-wide store of memoised results of every call site, and the throttled sweep that
// removes expired ones. Safe from any thread.
class CallSiteCache {
public:
    using Store = AtomicDictionary<AggregateHashable, TimedCacheEntry>;

    // Created on first use; lives for the whole process.
    static Store& timedCache();

    // The stored value for `key` when one was stored less than `duration` seconds ago.
    static std::optional<std::any> lookup(const AggregateHashable& key, double duration);
    // Stores `value` as of now. The store is queued: this returns before it is made.
    static void store(const AggregateHashable& key, std::any value);

    // Starts `work` after `delaySeconds` on another thread and returns a function that cancels it
    // (a cancelled start never runs `work`). Tests install one that runs nothing until told to.
    using DelayedStarter
        = std::function<std::function<void()>(double delaySeconds, std::function<void()> work)>;
    static void setDelayedStarterForTesting(DelayedStarter starter); // empty restores the real one

    // Empties the store and puts the sweep's throttle back in its first-use state.
    static void resetForTesting();
};

// Called after every memoised access with that access's time to live. Only every second call goes
// on: it sweeps at once when the last sweep is more than 60 s ago, otherwise it (re)schedules a
// sweep 10 s ahead, at most once every 2 s.
void scheduleTimedCacheCleanup(double interval);

// Removes every entry stored more than `interval` seconds ago, whichever call site stored it.
void cleanUpTimedCache(double interval);

// Returns the result of `computation`, reusing the one this call site computed less than
// `duration` seconds ago with the same `extraKeys`. The computation runs on the caller's thread,
// outside any lock; two callers that miss together both compute. A `duration` of 0 or less never
// reuses a result. Change one of `extraKeys` to make an older result unreachable at once.
template <class F>
auto memoize(std::vector<AnyHashable> extraKeys, double duration, F&& computation,
    platform::SourceLocation location = platform::SourceLocation::current()) -> std::invoke_result_t<F&>
{
    using Result = std::invoke_result_t<F&>;
    static_assert(std::is_copy_constructible_v<Result>, "a memoised result is handed out as a copy");

    std::vector<AnyHashable> elements;
    elements.reserve(extraKeys.size() + 3);
    elements.emplace_back(location.file_name());
    elements.emplace_back(location.function_name());
    elements.emplace_back(location.line());
    for (auto& key : extraKeys) {
        elements.push_back(std::move(key));
    }
    const AggregateHashable key(std::move(elements));

    if (auto stored = CallSiteCache::lookup(key, duration)) {
        if (const Result* value = std::any_cast<Result>(&*stored)) {
            Result result = *value;
            scheduleTimedCacheCleanup(duration);
            return result;
        }
    }
    Result result = computation();
    CallSiteCache::store(key, std::any(result));
    scheduleTimedCacheCleanup(duration);
    return result;
}

} // namespace zk
