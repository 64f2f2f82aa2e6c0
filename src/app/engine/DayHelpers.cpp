#include "app/engine/DayHelpers.h"

namespace kiruvo {

bool isWithinOneDay(const platform::DateRange& range, platform::Date date, const platform::Calendar& calendar)
{
    if (!calendar.isDateInSameDay(range.lowerBound, date)) {
        return false;
    }
    return calendar.isDateInSameDay(range.upperBound.addingTimeInterval(-1.0), date);
}

std::optional<platform::DateRange> intersectionWithDayRange(
    const platform::DateRange& range, const platform::DateRange& day)
{
    return range.intersection(day);
}

std::optional<platform::DateRange> intersectionWithDay(
    const platform::DateRange& range, platform::Date date, const platform::Calendar& calendar)
{
    const auto day = calendar.dayRange(date);
    if (!day) {
        return std::nullopt;
    }
    return intersectionWithDayRange(range, *day);
}

bool overlapsDayRange(const platform::DateRange& range, const platform::DateRange& day)
{
    return range.rangeByAdding(-1.0).intersects(day.rangeByAdding(-1.0));
}

bool overlapsDay(const platform::DateRange& range, platform::Date date, const platform::Calendar& calendar)
{
    const auto day = calendar.dayRange(date);
    return day && overlapsDayRange(range, *day);
}

} // namespace kiruvo
