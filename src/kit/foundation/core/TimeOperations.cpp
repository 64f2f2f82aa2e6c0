#include "kit/foundation/core/TimeOperations.h"

#include "platform/async/Sleep.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <cmath>
#include <fmt/format.h>
#include <limits>

namespace zk {

platform::DateRange rangeByAdding(const platform::DateRange& range, double seconds)
{
    return range.rangeByAdding(seconds);
}

std::uint64_t sleepNanoseconds(double seconds)
{
    const double nanoseconds = seconds * 1e9;
    if (std::isnan(nanoseconds) || nanoseconds <= 0) {
        return 0;
    }
    // 2^64 as a double; every double below it converts exactly.
    constexpr double limit = 18446744073709551616.0;
    if (nanoseconds >= limit) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(nanoseconds);
}

QCoro::Task<bool> sleep(double seconds, std::stop_token cancellation)
{
    co_return co_await platform::async::sleepFor(seconds, std::move(cancellation));
}

std::string formatTimerDuration(
    double seconds, bool showHours, bool showSeconds, bool showHoursOnlyWhenNeeded)
{
    std::int64_t total = 0;
    // 2^63 as a double; every double below it truncates into the 64-bit range.
    constexpr double limit = 9223372036854775808.0;
    if (std::isnan(seconds) || seconds <= 0) {
        total = 0;
    } else if (seconds >= limit) {
        total = std::numeric_limits<std::int64_t>::max();
    } else {
        total = static_cast<std::int64_t>(seconds);
    }
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = (total % 3600) / 60;
    const std::int64_t secs = total % 60;
    const bool hoursShown = showHoursOnlyWhenNeeded ? total >= 3600 : showHours;
    if (hoursShown) {
        return showSeconds ? fmt::format("{:02}:{:02}:{:02}", hours, minutes, secs)
                           : fmt::format("{:02}:{:02}", hours, minutes);
    }
    return showSeconds ? fmt::format("{:02}:{:02}", minutes, secs) : fmt::format("{:02}", minutes);
}

bool isInFuture(platform::Date date)
{
    return date > platform::Clock::shared().now();
}

bool isInPast(platform::Date date)
{
    return date < platform::Clock::shared().now();
}

} // namespace zk
