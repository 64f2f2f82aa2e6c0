#include "app/engine/SharedFormatters.h"

#include "platform/time/Date.h"
#include "platform/time/DateFormatter.h"
#include "platform/time/DurationFormatter.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <cmath>
#include <memory>
#include <mutex>

namespace kiruvo {

namespace {

// ICU's unit names carry no separate in-sentence form, so the standalone and in-sentence durations
// share one formatter; they stay two entry points because the callers mean two different things.
std::shared_ptr<const platform::DurationFormatter> durationFormatter()
{
    static std::mutex mutex;
    static std::shared_ptr<const platform::DurationFormatter> formatter;
    auto locale = platform::Locale::current();
    std::lock_guard lock(mutex);
    if (!formatter || !(formatter->locale() == locale)) {
        formatter = std::make_shared<const platform::DurationFormatter>(
            std::move(locale), platform::DurationFormatter::UnitsStyle::full);
    }
    return formatter;
}

std::shared_ptr<const platform::DateFormatter> shortTimeFormatter()
{
    static std::mutex mutex;
    static std::shared_ptr<const platform::DateFormatter> formatter;
    auto locale = platform::Locale::current();
    auto zone = platform::TimeZone::current();
    std::lock_guard lock(mutex);
    if (!formatter || !(formatter->locale() == locale) || !(formatter->timeZone() == zone)) {
        using Style = platform::DateFormatter::Style;
        formatter = std::make_shared<const platform::DateFormatter>(
            Style::none, Style::shortStyle, std::move(locale), std::move(zone));
    }
    return formatter;
}

} // namespace

double roundedToWholeMinutes(double seconds)
{
    // std::round rounds halves away from zero.
    return std::round(seconds / 60.0) * 60.0;
}

std::optional<std::string> SharedFormatters::hoursMinutesStandalone(zk::Duration duration)
{
    return durationFormatter()->string(roundedToWholeMinutes(duration.seconds));
}

std::optional<std::string> SharedFormatters::hoursMinutesStandalone(platform::Date start, platform::Date end)
{
    return hoursMinutesStandalone(zk::Duration::fromSeconds(end.timeIntervalSince(start)));
}

std::optional<std::string> SharedFormatters::hoursMinutesInSentence(zk::Duration duration)
{
    return durationFormatter()->string(roundedToWholeMinutes(duration.seconds));
}

std::string SharedFormatters::hoursMinutesStandaloneText(zk::Duration duration)
{
    return hoursMinutesStandalone(duration).value_or(std::string(missingText));
}

std::string SharedFormatters::hoursMinutesInSentenceText(zk::Duration duration)
{
    return hoursMinutesInSentence(duration).value_or(std::string(missingText));
}

std::string SharedFormatters::shortTime(platform::Date date)
{
    return shortTimeFormatter()->string(date);
}

} // namespace kiruvo
