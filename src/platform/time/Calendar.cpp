#include "platform/time/Calendar.h"

#include "platform/time/Clock.h"
#include "platform/time/Date.h"
#include "platform/time/WallClockFields.h"

#include <unicode/gregocal.h>

#include <cmath>
#include <stdexcept>

namespace platform {

namespace {

// ICU pins instants beyond about ±5.7 million years to its limits instead of failing; such dates
// are refused here so that no answer is made up for them.
constexpr double icuLimitMs = 1.8e17;

std::optional<UDate> icuDate(Date date)
{
    const double ms = date.unixTime() * 1000.0;
    if (!std::isfinite(ms) || std::fabs(ms) > icuLimitMs) {
        return std::nullopt;
    }
    return ms;
}

Date fromIcu(UDate ms)
{
    return Date::fromUnixTime(ms / 1000.0);
}

std::unique_ptr<icu::Calendar> makeCalendar(const TimeZone& zone, const Locale& locale)
{
    UErrorCode status = U_ZERO_ERROR;
    auto calendar = std::make_unique<icu::GregorianCalendar>(zone.icu(), locale.icu(), status);
    if (U_FAILURE(status)) {
        // Only an exhausted heap or missing ICU data gets here; neither leaves anything to run on.
        throw std::runtime_error(std::string("Cannot create a Gregorian calendar: ") + u_errorName(status));
    }
    // The first of two repeated midnights begins the day; a skipped midnight resolves to the first
    // instant after the gap.
    calendar->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    calendar->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    return calendar;
}

UCalendarDateFields icuField(Calendar::Component component)
{
    switch (component) {
    case Calendar::Component::year:
        return UCAL_YEAR;
    case Calendar::Component::month:
        return UCAL_MONTH;
    case Calendar::Component::day:
        return UCAL_DATE;
    case Calendar::Component::hour:
        return UCAL_HOUR_OF_DAY;
    case Calendar::Component::minute:
        return UCAL_MINUTE;
    case Calendar::Component::second:
        return UCAL_SECOND;
    case Calendar::Component::weekOfYear:
        return UCAL_WEEK_OF_YEAR;
    }
    return UCAL_DATE;
}

} // namespace

Calendar Calendar::current()
{
    return Calendar(TimeZone::current(), Locale::current());
}

Calendar::Calendar(TimeZone timeZone, Locale locale)
    : m_timeZone(std::move(timeZone))
    , m_locale(std::move(locale))
    , m_calendar(makeCalendar(m_timeZone, m_locale))
{
}

Calendar::Calendar(const Calendar& other)
    : m_timeZone(other.m_timeZone)
    , m_locale(other.m_locale)
{
    std::lock_guard lock(other.m_mutex);
    m_calendar.reset(other.m_calendar->clone());
}

Calendar& Calendar::operator=(const Calendar& other)
{
    if (this != &other) {
        std::unique_ptr<icu::Calendar> copy;
        {
            std::lock_guard lock(other.m_mutex);
            copy.reset(other.m_calendar->clone());
        }
        std::lock_guard lock(m_mutex);
        m_timeZone = other.m_timeZone;
        m_locale = other.m_locale;
        m_calendar = std::move(copy);
    }
    return *this;
}

Calendar::~Calendar() = default;

void Calendar::setTimeZone(TimeZone timeZone)
{
    std::lock_guard lock(m_mutex);
    m_calendar->setTimeZone(timeZone.icu());
    m_timeZone = std::move(timeZone);
}

int Calendar::firstWeekday() const
{
    std::lock_guard lock(m_mutex);
    UErrorCode status = U_ZERO_ERROR;
    const auto day = m_calendar->getFirstDayOfWeek(status);
    return U_SUCCESS(status) ? static_cast<int>(day) : 1;
}

std::optional<double> Calendar::startOfDayLocked(double ms) const
{
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->setTime(ms, status);
    const int year = m_calendar->get(UCAL_EXTENDED_YEAR, status);
    const int month = m_calendar->get(UCAL_MONTH, status);
    const int day = m_calendar->get(UCAL_DATE, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    m_calendar->clear();
    m_calendar->set(UCAL_EXTENDED_YEAR, year);
    m_calendar->set(UCAL_MONTH, month);
    m_calendar->set(UCAL_DATE, day);
    const UDate start = m_calendar->getTime(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return start;
}

Date Calendar::startOfDay(Date date) const
{
    const auto ms = icuDate(date);
    if (!ms) {
        return date;
    }
    std::lock_guard lock(m_mutex);
    const auto start = startOfDayLocked(*ms);
    return start ? fromIcu(*start) : date;
}

std::optional<DateRange> Calendar::dayRange(Date date) const
{
    const auto ms = icuDate(date);
    if (!ms) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    const auto start = startOfDayLocked(*ms);
    if (!start) {
        return std::nullopt;
    }
    // The calendar now holds the day's first instant as set fields; the next day's first instant
    // comes from the next date's fields, not from adding 24 hours.
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->add(UCAL_DATE, 1, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    const auto next = startOfDayLocked(m_calendar->getTime(status));
    if (U_FAILURE(status) || !next) {
        return std::nullopt;
    }
    return DateRange::make(fromIcu(*start), fromIcu(*next));
}

bool Calendar::isDateInSameDay(Date date, Date other) const
{
    const auto a = dateComponents(date);
    const auto b = dateComponents(other);
    return a && b && a->year == b->year && a->month == b->month && a->day == b->day;
}

bool Calendar::isDateInToday(Date date) const
{
    return isDateInSameDay(date, Clock::shared().now());
}

bool Calendar::isDateInWeekend(Date date) const
{
    const auto ms = icuDate(date);
    if (!ms) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    UErrorCode status = U_ZERO_ERROR;
    const bool weekend = m_calendar->isWeekend(*ms, status);
    return U_SUCCESS(status) && weekend;
}

std::optional<int> Calendar::weekday(Date date) const
{
    const auto components = dateComponents(date);
    if (!components) {
        return std::nullopt;
    }
    return components->weekday;
}

std::optional<DateComponents> Calendar::dateComponents(Date date) const
{
    return dateComponents(date, m_timeZone);
}

std::optional<DateComponents> Calendar::dateComponents(Date date, const TimeZone& zone) const
{
    const auto ms = icuDate(date);
    if (!ms) {
        return std::nullopt;
    }
    auto components = wallClockFields(*ms, zone);
    if (!components) {
        components = icuComponents(*ms, zone);
        if (!components) {
            return std::nullopt;
        }
    }
    components->timeZone = zone;
    const double seconds = date.unixTime();
    const double fraction = seconds - std::floor(seconds);
    components->nanosecond = std::min(999'999'999, static_cast<int>(fraction * 1e9));
    return components;
}

std::optional<DateComponents> Calendar::icuComponents(double ms, const TimeZone& zone) const
{
    std::lock_guard lock(m_mutex);
    const bool otherZone = !(zone == m_timeZone);
    if (otherZone) {
        m_calendar->setTimeZone(zone.icu());
    }
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->setTime(ms, status);
    DateComponents components;
    components.year = m_calendar->get(UCAL_EXTENDED_YEAR, status);
    components.month = m_calendar->get(UCAL_MONTH, status) + 1;
    components.day = m_calendar->get(UCAL_DATE, status);
    components.hour = m_calendar->get(UCAL_HOUR_OF_DAY, status);
    components.minute = m_calendar->get(UCAL_MINUTE, status);
    components.second = m_calendar->get(UCAL_SECOND, status);
    components.weekday = m_calendar->get(UCAL_DAY_OF_WEEK, status);
    if (otherZone) {
        m_calendar->setTimeZone(m_timeZone.icu());
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return components;
}

std::optional<Date> Calendar::date(const DateComponents& components) const
{
    std::lock_guard lock(m_mutex);
    if (components.timeZone) {
        m_calendar->setTimeZone(components.timeZone->icu());
    }
    m_calendar->clear();
    m_calendar->set(UCAL_EXTENDED_YEAR, components.year.value_or(1));
    m_calendar->set(UCAL_MONTH, components.month.value_or(1) - 1);
    m_calendar->set(UCAL_DATE, components.day.value_or(1));
    m_calendar->set(UCAL_HOUR_OF_DAY, components.hour.value_or(0));
    m_calendar->set(UCAL_MINUTE, components.minute.value_or(0));
    m_calendar->set(UCAL_SECOND, components.second.value_or(0));
    UErrorCode status = U_ZERO_ERROR;
    const UDate ms = m_calendar->getTime(status);
    if (components.timeZone) {
        m_calendar->setTimeZone(m_timeZone.icu());
    }
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return fromIcu(ms).addingTimeInterval(components.nanosecond.value_or(0) / 1e9);
}

std::optional<Date> Calendar::dateByAdding(Component component, int value, Date date) const
{
    const auto ms = icuDate(date);
    if (!ms) {
        return std::nullopt;
    }
    // ICU works in whole milliseconds; the rest is carried over unchanged.
    const double whole = std::floor(*ms);
    const double rest = (*ms - whole) / 1000.0;
    std::lock_guard lock(m_mutex);
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->setTime(whole, status);
    m_calendar->add(icuField(component), value, status);
    const UDate result = m_calendar->getTime(status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return fromIcu(result).addingTimeInterval(rest);
}

std::optional<int> Calendar::daysBetween(Date from, Date to) const
{
    const auto fromMs = icuDate(from);
    const auto toMs = icuDate(to);
    if (!fromMs || !toMs) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    const auto start = startOfDayLocked(*fromMs);
    const auto end = startOfDayLocked(*toMs);
    if (!start || !end) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    m_calendar->setTime(*start, status);
    const int days = m_calendar->fieldDifference(*end, UCAL_DATE, status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return days;
}

} // namespace platform
