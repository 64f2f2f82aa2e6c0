#pragma once

#include "platform/store/JsonValue.h"
#include "platform/time/Date.h"

#include <chrono>
#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>

namespace zk {

// A length of time as a plain number of seconds. There is no calendar logic here: a day is always
// 86,400 seconds. Negative, fractional and infinite lengths are representable and never clamped;
// only the conversions to integer counts saturate.
struct Duration {
    // The raw value of each unit is the number of seconds in one unit.
    enum class Unit { nanoseconds, microseconds, milliseconds, seconds, minutes, hours, days, weeks };

    double seconds = 0;

    static constexpr double rawValue(Unit unit)
    {
        switch (unit) {
        case Unit::nanoseconds:
            return 1e-9;
        case Unit::microseconds:
            return 1e-6;
        case Unit::milliseconds:
            return 0.001;
        case Unit::seconds:
            return 1;
        case Unit::minutes:
            return 60;
        case Unit::hours:
            return 3600;
        case Unit::days:
            return 86400;
        case Unit::weeks:
            return 604800;
        }
        return 1;
    }
    // The unit whose raw value is exactly `raw`; nothing for any other number.
    static std::optional<Unit> unitFromRawValue(double raw);

    // `count` of `unit`: count × the unit's seconds (multiplication, never division).
    static constexpr Duration of(double count, Unit unit) { return Duration { count * rawValue(unit) }; }

    static constexpr Duration fromSeconds(double count) { return Duration { count }; }
    static constexpr Duration nanoseconds(double count) { return of(count, Unit::nanoseconds); }
    static constexpr Duration microseconds(double count) { return of(count, Unit::microseconds); }
    static constexpr Duration milliseconds(double count) { return of(count, Unit::milliseconds); }
    static constexpr Duration minutes(double count) { return of(count, Unit::minutes); }
    static constexpr Duration hours(double count) { return of(count, Unit::hours); }
    static constexpr Duration days(double count) { return of(count, Unit::days); }
    static constexpr Duration weeks(double count) { return of(count, Unit::weeks); }

    template <std::integral I> static constexpr Duration fromSeconds(I count)
    {
        return fromSeconds(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration nanoseconds(I count)
    {
        return nanoseconds(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration microseconds(I count)
    {
        return microseconds(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration milliseconds(I count)
    {
        return milliseconds(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration minutes(I count)
    {
        return minutes(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration hours(I count)
    {
        return hours(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration days(I count)
    {
        return days(static_cast<double>(count));
    }
    template <std::integral I> static constexpr Duration weeks(I count)
    {
        return weeks(static_cast<double>(count));
    }

    template <class Rep, class Period>
    static constexpr Duration fromChrono(std::chrono::duration<Rep, Period> d)
    {
        return Duration { std::chrono::duration<double>(d).count() };
    }

    // The zero length, shared by every reader.
    static const Duration& zero();

    // A length drawn uniformly from the closed range [lower, upper]: an integer k uniform in
    // 0...2^53; upper when k is 2^53, else (upper − lower) × k × 2^-53 + lower.
    template <class Generator> static Duration random(Duration lower, Duration upper, Generator& generator)
    {
        constexpr std::uint64_t top = std::uint64_t { 1 } << 53;
        std::uniform_int_distribution<std::uint64_t> draw(0, top);
        const std::uint64_t k = draw(generator);
        if (k == top) {
            return upper;
        }
        return Duration { (upper.seconds - lower.seconds) * static_cast<double>(k) * 0x1p-53
            + lower.seconds };
    }
    static Duration random(Duration lower, Duration upper);

    // The length as a count of `unit`.
    constexpr double in(Unit unit) const { return seconds / rawValue(unit); }

    // Whole counts, truncated toward zero; NaN gives 0 and lengths beyond the 64-bit range give the
    // nearest bound, so no conversion is ever undefined.
    std::int64_t wholeNanoseconds() const;
    std::int64_t wholeMilliseconds() const;
    std::int64_t wholeSeconds() const;
    std::chrono::nanoseconds toChronoNanoseconds() const
    {
        return std::chrono::nanoseconds(wholeNanoseconds());
    }
    std::chrono::milliseconds toChronoMilliseconds() const
    {
        return std::chrono::milliseconds(wholeMilliseconds());
    }
    // Milliseconds for a Qt timer: clamped to 0...INT_MAX (negative and NaN give 0).
    int timerMilliseconds() const;

    bool isFinite() const;

    // The dates that lie this length after a given date, after 1970-01-01Z, after the reference date
    // (2001-01-01Z), and after now on the shared clock.
    constexpr platform::Date after(platform::Date date) const { return date.addingTimeInterval(seconds); }
    constexpr platform::Date sinceUnixEpoch() const { return platform::Date::fromUnixTime(seconds); }
    constexpr platform::Date sinceReferenceDate() const { return platform::Date(seconds); }
    platform::Date fromNow() const;

    // Debug text such as "600 s" (the seconds in their shortest round-trip form).
    std::string description() const;

    constexpr Duration operator-() const { return Duration { -seconds }; }
    constexpr Duration& operator+=(Duration other)
    {
        seconds += other.seconds;
        return *this;
    }
    constexpr Duration& operator-=(Duration other)
    {
        seconds -= other.seconds;
        return *this;
    }
    friend constexpr Duration operator+(Duration a, Duration b) { return Duration { a.seconds + b.seconds }; }
    friend constexpr Duration operator-(Duration a, Duration b) { return Duration { a.seconds - b.seconds }; }
    friend constexpr Duration operator*(Duration a, double factor) { return Duration { a.seconds * factor }; }
    friend constexpr Duration operator*(double factor, Duration a) { return Duration { a.seconds * factor }; }
    friend constexpr Duration operator/(Duration a, double divisor)
    {
        return Duration { a.seconds / divisor };
    }
    friend constexpr double operator/(Duration a, Duration b) { return a.seconds / b.seconds; }

    // IEEE comparisons on the seconds: a NaN length equals nothing, itself included; `<=` and `>=`
    // are the negations of `>` and `<`.
    friend constexpr bool operator==(Duration a, Duration b) { return a.seconds == b.seconds; }
    friend constexpr bool operator<(Duration a, Duration b) { return a.seconds < b.seconds; }
    friend constexpr bool operator>(Duration a, Duration b) { return a.seconds > b.seconds; }
    friend constexpr bool operator<=(Duration a, Duration b) { return !(a > b); }
    friend constexpr bool operator>=(Duration a, Duration b) { return !(a < b); }
};

// The sum of a sequence of lengths, starting at zero and adding each in order.
template <class Range> Duration sum(const Range& durations)
{
    Duration total = Duration::zero();
    for (const Duration& d : durations) {
        total += d;
    }
    return total;
}

// The stored form is one bare JSON number: ten minutes is 600. Decoding refuses anything that is
// not a number (a string, a Boolean, null) with nlohmann's type error.
void to_json(platform::JsonValue& json, const Duration& duration);
void from_json(const platform::JsonValue& json, Duration& duration);

} // namespace zk

template <> struct std::hash<zk::Duration> {
    // Positive and negative zero hash alike, as they compare equal.
    std::size_t operator()(const zk::Duration& d) const noexcept;
};

template <> struct std::hash<zk::Duration::Unit> {
    std::size_t operator()(zk::Duration::Unit unit) const noexcept
    {
        return std::hash<double> {}(zk::Duration::rawValue(unit));
    }
};
