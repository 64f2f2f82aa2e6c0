#pragma once

#include "platform/time/Date.h"
#include "platform/time/DateRange.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <memory>
#include <mutex>
#include <optional>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Calendar;
U_NAMESPACE_END

namespace platform {

// The calendar fields of an instant; a field that is not set is absent. `weekday` counts from
// 1 = Sunday to 7 = Saturday; `month` from 1 = January.
struct DateComponents {
    std::optional<int> year;
    std::optional<int> month;
    std::optional<int> day;
    std::optional<int> hour;
    std::optional<int> minute;
    std::optional<int> second;
    std::optional<int> nanosecond;
    std::optional<int> weekday;
    std::optional<TimeZone> timeZone;

    bool operator==(const DateComponents&) const = default;
};

// The Gregorian calendar in a time zone and a locale (the locale decides the first day of the
// week and which days are the weekend). Days begin at their first instant in the zone, which is
// not midnight on the days where a zone's clocks skip midnight, and last 23 or 25 hours on the days
// the clocks change.
//
// Every operation on a date that is not a finite number, or lies beyond ICU's range (some 5.8
// million years), answers nothing, false, or the date unchanged. Thread-safe: one object may be
// used from several threads; copies are independent.
class Calendar {
public:
    enum class Component { year, month, day, hour, minute, second, weekOfYear };

    // The Gregorian calendar in the current time zone and locale, read at this call.
    static Calendar current();

    Calendar(TimeZone timeZone, Locale locale);
    Calendar(const Calendar& other);
    Calendar& operator=(const Calendar& other);
    ~Calendar();

    const TimeZone& timeZone() const { return m_timeZone; }
    void setTimeZone(TimeZone timeZone);
    const Locale& locale() const { return m_locale; }

    // 1 = Sunday … 7 = Saturday, from the locale's region.
    int firstWeekday() const;

    Date startOfDay(Date date) const;
    // From the day's first instant to the next day's first instant, both included.
    std::optional<DateRange> dayRange(Date date) const;
    bool isDateInSameDay(Date date, Date other) const;
    // Today is the day of the shared clock's present moment.
    bool isDateInToday(Date date) const;
    // By the weekend days of the locale's region (Saturday and Sunday in the United States,
    // Friday and Saturday in Israel).
    bool isDateInWeekend(Date date) const;
    std::optional<int> weekday(Date date) const;

    // Every field, in the calendar's zone or in the given one.
    std::optional<DateComponents> dateComponents(Date date) const;
    std::optional<DateComponents> dateComponents(Date date, const TimeZone& zone) const;
    // Absent fields count as their first value (year 1, January, the 1st, 00:00:00); fields out
    // of their range carry over (month 13 is January of the next year). The weekday is ignored.
    // The components' zone, when set, is used instead of the calendar's.
    std::optional<Date> date(const DateComponents& components) const;

    // Wall-clock arithmetic: adding a day keeps the time of day across a change of the clocks.
    std::optional<Date> dateByAdding(Component component, int value, Date date) const;
    std::optional<Date> dateByAddingDays(int days, Date date) const
    {
        return dateByAdding(Component::day, days, date);
    }
    // The number of calendar days from the day of `from` to the day of `to` (negative when `to`
    // lies on an earlier day).
    std::optional<int> daysBetween(Date from, Date to) const;

private:
    std::optional<double> startOfDayLocked(double ms) const;
    // The fields as ICU's calendar works them out, every field but the nanosecond and the zone.
    std::optional<DateComponents> icuComponents(double ms, const TimeZone& zone) const;

    TimeZone m_timeZone;
    Locale m_locale;
    mutable std::mutex m_mutex;
    std::unique_ptr<icu::Calendar> m_calendar;
};

} // namespace platform
