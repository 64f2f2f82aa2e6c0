#pragma once

#include "platform/time/DateRange.h"
#include "platform/time/TimeZone.h"

#include <optional>
#include <string>

// ISO 8601 text of dates and date ranges, as exports write them.
namespace kiruvo {

// The internet date-time form "2024-01-05T09:30:00+01:00" ("Z" for a zero offset), or with
// `dateOnly` the calendar date "2024-01-05", in the given zone (UTC when none). Fractions of a
// second are dropped. An empty text for a date that is not a finite number.
std::string iso8601String(platform::Date date, bool dateOnly = false,
    const std::optional<platform::TimeZone>& timeZone = std::nullopt);

// Both ends, each in its own zone, joined by "/" or, with `doubleDash`, by "--" (a form that can
// stand in a file name): "2024-01-05--2024-03-05".
std::string iso8601String(const platform::DateRange& range, bool dateOnly, bool doubleDash,
    const platform::TimeZone& startTimeZone, const platform::TimeZone& endTimeZone);

} // namespace kiruvo
