#include "kit/foundation/core/DurationBridges.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace zk {

DispatchTimeInterval toDispatchTimeInterval(Duration duration)
{
    const double nanoseconds = std::trunc(duration.seconds / 1e-9);
    // 2^63 is the first double past the range.
    if (!std::isfinite(nanoseconds) || nanoseconds >= 9223372036854775808.0
        || nanoseconds < -9223372036854775808.0) {
        throw std::overflow_error("The duration does not fit a dispatch time interval");
    }
    return DispatchTimeInterval::nanoseconds(static_cast<std::int64_t>(nanoseconds));
}

Duration durationFrom(const DispatchTimeInterval& interval)
{
    const auto count = static_cast<double>(interval.count);
    switch (interval.unit) {
    case DispatchTimeInterval::Unit::seconds:
        return Duration::fromSeconds(count);
    case DispatchTimeInterval::Unit::milliseconds:
        return Duration::fromSeconds(count * 0.001);
    case DispatchTimeInterval::Unit::microseconds:
        return Duration::fromSeconds(count * 1e-6);
    case DispatchTimeInterval::Unit::nanoseconds:
        return Duration::fromSeconds(count * 1e-9);
    case DispatchTimeInterval::Unit::never:
        return Duration::fromSeconds(std::numeric_limits<double>::infinity());
    }
    return Duration::fromSeconds(0.0);
}

std::unique_ptr<QTimer> makeTimer(Duration interval, bool repeats, std::function<void()> block)
{
    auto timer = std::make_unique<QTimer>();
    const double milliseconds = interval.seconds * 1000.0;
    const double clamped = std::isnan(milliseconds)
        ? 0.0
        : std::clamp(milliseconds, 0.0, double(std::numeric_limits<int>::max()));
    timer->setInterval(std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(clamped))));
    timer->setSingleShot(!repeats);
    QObject::connect(timer.get(), &QTimer::timeout, timer.get(), std::move(block));
    return timer;
}

QNetworkRequest makeURLRequest(
    const QUrl& url, Duration timeout, QNetworkRequest::CacheLoadControl cachePolicy)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, cachePolicy);
    const double milliseconds = std::ceil(timeout.seconds * 1000.0);
    int transferTimeout = 0;
    if (milliseconds > 0) {
        transferTimeout = milliseconds >= double(std::numeric_limits<int>::max())
            ? std::numeric_limits<int>::max()
            : static_cast<int>(milliseconds);
    }
    request.setTransferTimeout(transferTimeout);
    return request;
}

Duration timeoutInterval(const QNetworkRequest& request)
{
    return Duration::fromSeconds(request.transferTimeout() / 1000.0);
}

} // namespace zk
