#pragma once

#include "platform/time/Date.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace platform {

// A closed span of time: both bounds belong to it, and the lower bound is never after the upper
// one. Session spans, a day's span (which ends at the next day's first instant) and the parts of a
// session that fall on a day are all of this form.
struct DateRange {
    Date lowerBound;
    Date upperBound;

    // Refuses bounds in the wrong order and bounds that are not finite numbers.
    static std::optional<DateRange> make(Date lower, Date upper)
    {
        if (!std::isfinite(lower.timeIntervalSinceReferenceDate)
            || !std::isfinite(upper.timeIntervalSinceReferenceDate) || upper < lower) {
            return std::nullopt;
        }
        return DateRange { lower, upper };
    }

    // The closed range between two dates given in either order; equal dates make a single instant.
    static DateRange between(Date a, Date b) { return b < a ? DateRange { b, a } : DateRange { a, b }; }

    double duration() const { return upperBound.timeIntervalSince(lowerBound); }
    bool contains(Date date) const { return lowerBound <= date && date <= upperBound; }

    // Ends count as inside: two ranges that only touch meet in a zero-length range at that instant.
    std::optional<DateRange> intersection(const DateRange& other) const
    {
        const Date lower = std::max(lowerBound, other.lowerBound);
        const Date upper = std::min(upperBound, other.upperBound);
        if (upper < lower) {
            return std::nullopt;
        }
        return DateRange { lower, upper };
    }
    bool intersects(const DateRange& other) const { return intersection(other).has_value(); }

    // Moves the upper bound by `seconds` (negative: earlier) but never before the lower bound,
    // which stays: a span shortened by more than its length is the single instant at its start,
    // so a session that ended through inactivity never ends before it began. A move that is not a
    // finite number leaves the range as it is.
    DateRange rangeByAdding(double seconds) const
    {
        if (!std::isfinite(seconds)) {
            return *this;
        }
        const Date moved = upperBound.addingTimeInterval(seconds);
        return DateRange { lowerBound, moved < lowerBound ? lowerBound : moved };
    }

    bool operator==(const DateRange&) const = default;
};

} // namespace platform
