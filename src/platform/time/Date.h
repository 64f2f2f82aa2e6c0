#pragma once

#include <compare>

namespace platform {

// A point in time as seconds since the reference date 2001-01-01T00:00:00Z, the form in which
// every stored and exported date of Kiruvo is kept.
struct Date {
    static constexpr double unixOffset = 978307200.0;

    double timeIntervalSinceReferenceDate = 0.0;

    constexpr Date() = default;
    constexpr explicit Date(double secondsSinceReferenceDate)
        : timeIntervalSinceReferenceDate(secondsSinceReferenceDate)
    {
    }

    static constexpr Date fromUnixTime(double unixSeconds) { return Date(unixSeconds - unixOffset); }
    constexpr double unixTime() const { return timeIntervalSinceReferenceDate + unixOffset; }

    constexpr Date addingTimeInterval(double seconds) const
    {
        return Date(timeIntervalSinceReferenceDate + seconds);
    }
    constexpr double timeIntervalSince(Date other) const
    {
        return timeIntervalSinceReferenceDate - other.timeIntervalSinceReferenceDate;
    }

    constexpr auto operator<=>(const Date&) const = default;
};

} // namespace platform
