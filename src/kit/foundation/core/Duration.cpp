#include "kit/foundation/core/Duration.h"

#include "platform/store/JsonWriter.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <bit>
#include <climits>
#include <cmath>
#include <limits>

namespace zk {

namespace {

// Truncates toward zero; NaN gives 0 and anything outside the 64-bit range its nearest bound.
// 2^63 is exactly representable, so `value >= 2^63` is the precise overflow test.
std::int64_t saturatingInt64(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double limit = 0x1p63;
    if (value >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

} // namespace

std::optional<Duration::Unit> Duration::unitFromRawValue(double raw)
{
    for (Unit unit : { Unit::nanoseconds, Unit::microseconds, Unit::milliseconds, Unit::seconds,
             Unit::minutes, Unit::hours, Unit::days, Unit::weeks }) {
        if (rawValue(unit) == raw) {
            return unit;
        }
    }
    return std::nullopt;
}

const Duration& Duration::zero()
{
    static const Duration value { 0 };
    return value;
}

Duration Duration::random(Duration lower, Duration upper)
{
    thread_local std::mt19937_64 generator { std::random_device {}() };
    return random(lower, upper, generator);
}

std::int64_t Duration::wholeNanoseconds() const
{
    return saturatingInt64(seconds / 1e-9);
}

std::int64_t Duration::wholeMilliseconds() const
{
    return saturatingInt64(seconds / 0.001);
}

std::int64_t Duration::wholeSeconds() const
{
    return saturatingInt64(seconds);
}

int Duration::timerMilliseconds() const
{
    const std::int64_t ms = wholeMilliseconds();
    if (ms <= 0) {
        return 0;
    }
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

bool Duration::isFinite() const
{
    return std::isfinite(seconds);
}

platform::Date Duration::fromNow() const
{
    return after(platform::Clock::shared().now());
}

std::string Duration::description() const
{
    if (std::isnan(seconds)) {
        return "nan s";
    }
    if (std::isinf(seconds)) {
        return seconds > 0 ? "inf s" : "-inf s";
    }
    return platform::JsonWriter::numberText(seconds).value_or("?") + " s";
}

void to_json(platform::JsonValue& json, const Duration& duration)
{
    json = duration.seconds;
}

void from_json(const platform::JsonValue& json, Duration& duration)
{
    if (!json.is_number()) {
        throw platform::JsonValue::type_error::create(
            302, std::string("a duration is a number, not ") + json.type_name(), &json);
    }
    duration.seconds = json.get<double>();
}

} // namespace zk

std::size_t std::hash<zk::Duration>::operator()(const zk::Duration& d) const noexcept
{
    const double value = d.seconds == 0 ? 0.0 : d.seconds;
    return std::hash<std::uint64_t> {}(std::bit_cast<std::uint64_t>(value));
}
