#pragma once

#include "kit/foundation/core/ByteCountFormat.h"
#include "platform/store/PropertyList.h"
#include "platform/time/Locale.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zk {

// A span of time in the narrow style of the locale: "1h 5m 12s", "2d 3h", "0s"; units that are zero
// are left out. Nothing for a span that is not finite or negative.
std::optional<std::string> narrowDurationText(double seconds, const platform::Locale& locale);

// The textual description of a stored value, as a settings line shows it: texts without quotes,
// integers in decimal, Booleans as true or false, reals in their shortest round-trip form, dates as
// "2024-05-01 10:00:00 +0000", data as "<Data: 3 bytes>", arrays as "(1, \"a\")" and dictionaries
// as "{key = value; }".
std::string debugDescription(const platform::PropertyList& value);

// The shortest text that reads back as the same double ("0.13", "2.5", "600").
std::string shortestText(double value);

} // namespace zk
