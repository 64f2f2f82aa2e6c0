#pragma once

#include "platform/time/Calendar.h"
#include "platform/time/DateRange.h"

#include <optional>

// Sessions against calendar days. A day runs from its first instant to the next day's first
// instant (23 or 25 hours when the clocks change), both included, in the calendar's time zone:
// the caller's choice of calendar decides where days begin.
namespace kiruvo {

// Ends count as inside: ranges that only touch meet in the zero-length range at that instant.
inline std::optional<platform::DateRange> intersection(
    const platform::DateRange& a, const platform::DateRange& b)
{
    return a.intersection(b);
}

// Whether the range starts on the day of `date` and, but for its last second, ends on it: a
// session ending exactly at the next midnight is within the day; one starting at midnight and
// lasting under a second is not.
bool isWithinOneDay(
    const platform::DateRange& range, platform::Date date, const platform::Calendar& calendar);

// The part of the range on the day of `date`; a range ending exactly at midnight has a zero-length
// part on the next day. Nothing when they do not meet or the calendar has no such day.
std::optional<platform::DateRange> intersectionWithDay(
    const platform::DateRange& range, platform::Date date, const platform::Calendar& calendar);

// Whether the range has any time on the day of `date`, with both the day's and the range's last
// second left out: a range that ends at midnight belongs only to the day before, one that starts
// at midnight only to the day it starts.
bool overlapsDay(const platform::DateRange& range, platform::Date date, const platform::Calendar& calendar);

// The same two questions against a day already looked up with Calendar::dayRange, for callers that
// test many sessions against one day.
std::optional<platform::DateRange> intersectionWithDayRange(
    const platform::DateRange& range, const platform::DateRange& day);
bool overlapsDayRange(const platform::DateRange& range, const platform::DateRange& day);

} // namespace kiruvo
