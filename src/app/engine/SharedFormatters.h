#pragma once

#include "kit/foundation/core/Duration.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform {
struct Date;
}

namespace kiruvo {

// Seconds rounded to whole minutes, halves away from zero, back in seconds: 89 s is 60 s and
// 90 s is 120 s. Every duration in minutes that the user reads is rounded so, the status item's
// included, so that the panel's "2m" never stands beside a menu's "1 minute".
double roundedToWholeMinutes(double seconds);

// The process-wide formatters through which every duration and time of day reaches the user, so
// that all places spell them alike. Durations are in hours and minutes with full unit names
// ("1 hour, 5 minutes"; 90,000 s is "25 hours"), rounded to whole minutes; a time of day is the
// locale's short time ("9:30 AM"). Each follows the user's current locale (and, for times, time
// zone): a formatter is built on first use and again only when those change. Thread-safe.
class SharedFormatters {
public:
    // What is shown where a duration has no text.
    static constexpr std::string_view missingText = "!!!";

    // A duration on its own: menus, lists, statistics, scripting answers.
    static std::optional<std::string> hoursMinutesStandalone(zk::Duration duration);
    static std::optional<std::string> hoursMinutesStandalone(platform::Date start, platform::Date end);
    // A duration inside a sentence ("You have been active for 1 hour, 5 minutes").
    static std::optional<std::string> hoursMinutesInSentence(zk::Duration duration);

    // The same, with missingText in place of no text.
    static std::string hoursMinutesStandaloneText(zk::Duration duration);
    static std::string hoursMinutesInSentenceText(zk::Duration duration);

    // The time of day only, never the date.
    static std::string shortTime(platform::Date date);
};

} // namespace kiruvo
