#pragma once

#include "platform/time/Calendar.h"

#include <optional>

namespace platform {

// The wall-clock fields (year to second, and the weekday) of an instant given in milliseconds since
// 1970 in `zone`, worked out from the zone's offset at the instant with integers alone: exactly
// what ICU's Gregorian calendar answers, without a round of its field computation. Only between
// the years 1600 and 9999, where that calendar is the proleptic Gregorian one and milliseconds are
// whole doubles; nothing elsewhere. The nanosecond and the zone are left absent. Thread-safe.
std::optional<DateComponents> wallClockFields(double unixMilliseconds, const TimeZone& zone);

} // namespace platform
