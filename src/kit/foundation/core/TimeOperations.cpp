#include "kit/foundation/core/TimeOperations.h"

#include "platform/Clock.h"

#include <QCoroSignal>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <fmt/format.h>
#include <limits>

namespace zk {

platform::DateRange rangeByAdding(const platform::DateRange& range, double seconds)
{
    if (!std::isfinite(seconds)) {
        return range;
    }
    const platform::Date moved = range.upperBound.addingTimeInterval(seconds);
    return platform::DateRange { range.lowerBound, moved >= range.lowerBound ? moved : range.lowerBound };
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
    using namespace std::chrono;
    // A timer holds at most INT_MAX milliseconds (about 24.8 days): longer waits go in steps.
    constexpr std::uint64_t longestStepMs = std::numeric_limits<int>::max();
    std::uint64_t remainingMs = sleepNanoseconds(seconds) / 1'000'000;

    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    bool cancelled = false;
    // Runs on the thread that asks for cancellation; the timer's own thread wakes the sleep.
    std::stop_callback wake(cancellation, [&timer] {
        QMetaObject::invokeMethod(
            &timer, [&timer] { timer.start(0); }, Qt::QueuedConnection);
    });
    do {
        if (cancellation.stop_requested()) {
            cancelled = true;
            break;
        }
        const std::uint64_t stepMs = std::min(remainingMs, longestStepMs);
        timer.start(milliseconds(static_cast<int>(stepMs)));
        co_await qCoro(&timer, &QTimer::timeout);
        remainingMs -= stepMs;
    } while (remainingMs > 0 || cancellation.stop_requested());
    co_return !cancelled;
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
