#pragma once

#include "platform/time/Date.h"
#include "platform/time/DateRange.h"

#include <QCoroTask>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <stop_token>
#include <string>
#include <vector>

namespace zk {

// The range with its upper bound moved by `seconds` (negative: earlier), never before its lower
// bound: taking more idle time off a session than it lasted leaves a zero-length range at its
// start. A number of seconds that is not finite leaves the range as it is.
platform::DateRange rangeByAdding(const platform::DateRange& range, double seconds);

// Whole nanoseconds in `seconds`, the fraction dropped: not-a-number and negative counts give 0,
// counts beyond the 64-bit range (infinity included) give the largest count.
std::uint64_t sleepNanoseconds(double seconds);

// Suspends the calling coroutine for `seconds` and resumes it on the main thread (not-a-number
// and negative count as 0, infinity waits until cancelled). Returns true when the time has passed,
// false as soon as `cancellation` is requested; a cancelled sleep is no error.
QCoro::Task<bool> sleep(double seconds, std::stop_token cancellation = {});

// A timer's text of a number of seconds: "MM", "MM:SS", "HH:MM" or "HH:MM:SS", two digits each
// (hours may have more). Hours are shown when `showHoursOnlyWhenNeeded` is set and the time is an
// hour or more, or else when `showHours` is set; minutes are always those within the hour.
// Not-a-number and negative counts read as 0, counts beyond the 64-bit range as the largest one.
std::string formatTimerDuration(
    double seconds, bool showHours, bool showSeconds, bool showHoursOnlyWhenNeeded);

// Against the shared clock's current date; the current instant itself is neither.
bool isInFuture(platform::Date date);
bool isInPast(platform::Date date);

// The elements sorted by `key(element)`, largest first when `descending`.
template <class Range, class Key> auto sortedBy(const Range& elements, Key&& key, bool descending)
{
    std::vector<std::ranges::range_value_t<Range>> result(std::begin(elements), std::end(elements));
    std::stable_sort(result.begin(), result.end(), [&](const auto& a, const auto& b) {
        return descending ? std::invoke(key, b) < std::invoke(key, a)
                          : std::invoke(key, a) < std::invoke(key, b);
    });
    return result;
}

} // namespace zk
