#pragma once

#include "platform/time/DurationFormatter.h"

#include <memory>

namespace kiruvo {

// The status item's duration text: abbreviated unit names in days, hours and minutes, at most two
// of them ("25 min", "3 hr, 5 min", "1 day, 2 hr"), for the user's current locale. Built on first
// use and again only when the locale changes.
std::shared_ptr<const platform::DurationFormatter> menuBarDurationFormatter();

// The same formatter for a given locale.
std::shared_ptr<const platform::DurationFormatter> makeMenuBarDurationFormatter(platform::Locale locale);

} // namespace kiruvo
