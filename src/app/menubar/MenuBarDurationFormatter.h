#pragma once

#include "platform/time/DurationFormatter.h"

#include <memory>

namespace kiruvo {

// The status item's duration text: the narrow unit names in days, hours and minutes, at most two
// of them ("25m", "3h 5m", "1d 2h"), for the user's current locale. Built on first
// use and again only when the locale changes.
std::shared_ptr<const platform::DurationFormatter> menuBarDurationFormatter();

// The same formatter for a given locale.
std::shared_ptr<const platform::DurationFormatter> makeMenuBarDurationFormatter(platform::Locale locale);

} // namespace kiruvo
