#include "app/engine/Iso8601.h"

#include "platform/time/Date.h"
#include "platform/time/Iso8601DateFormatter.h"

namespace kiruvo {

using platform::Iso8601DateFormatter;

std::string iso8601String(
    platform::Date date, bool dateOnly, const std::optional<platform::TimeZone>& timeZone)
{
    const auto form
        = dateOnly ? Iso8601DateFormatter::Form::fullDate : Iso8601DateFormatter::Form::internetDateTime;
    if (!timeZone) {
        static const Iso8601DateFormatter sharedDateTime(Iso8601DateFormatter::Form::internetDateTime);
        static const Iso8601DateFormatter sharedDate(Iso8601DateFormatter::Form::fullDate);
        return (dateOnly ? sharedDate : sharedDateTime).string(date).value_or(std::string());
    }
    return Iso8601DateFormatter(form, *timeZone).string(date).value_or(std::string());
}

std::string iso8601String(const platform::DateRange& range, bool dateOnly, bool doubleDash,
    const platform::TimeZone& startTimeZone, const platform::TimeZone& endTimeZone)
{
    return iso8601String(range.lowerBound, dateOnly, startTimeZone) + (doubleDash ? "--" : "/")
        + iso8601String(range.upperBound, dateOnly, endTimeZone);
}

} // namespace kiruvo
