#include "app/engine/DayHelpers.h"

#include <gtest/gtest.h>

using platform::Calendar;
using platform::Date;
using platform::DateRange;
using platform::Locale;
using platform::TimeZone;

namespace {

constexpr double hour = 3600;
// 2024-01-05T00:00:00Z.
constexpr double jan5Utc = 1704412800;

Date unix(double seconds)
{
    return Date::fromUnixTime(seconds);
}

DateRange range(double from, double to)
{
    return *DateRange::make(unix(from), unix(to));
}

Calendar utcCalendar()
{
    return Calendar(TimeZone::utc(), Locale("en_US"));
}

Calendar calendarIn(const char* zone)
{
    return Calendar(*TimeZone::withIdentifier(zone), Locale("en_US"));
}

} // namespace

TEST(DayHelpers, IntersectionCountsTouchingEnds)
{
    const auto morning = range(jan5Utc + 8 * hour, jan5Utc + 10 * hour);
    const auto later = range(jan5Utc + 10 * hour, jan5Utc + 12 * hour);
    EXPECT_EQ(kiruvo::intersection(morning, later), range(jan5Utc + 10 * hour, jan5Utc + 10 * hour));
    EXPECT_FALSE(kiruvo::intersection(morning, range(jan5Utc + 10 * hour + 0.001, jan5Utc + 11 * hour)));
    const auto inner = range(jan5Utc + 9 * hour, jan5Utc + 9.5 * hour);
    EXPECT_EQ(kiruvo::intersection(morning, inner), inner);
    EXPECT_EQ(kiruvo::intersection(inner, morning), inner);
    EXPECT_EQ(kiruvo::intersection(morning, morning), morning);
}

TEST(DayHelpers, WithinOneDayLeavesOutTheLastSecond)
{
    const auto calendar = utcCalendar();
    const Date day = unix(jan5Utc + 12 * hour);
    const double next = jan5Utc + 24 * hour;
    EXPECT_TRUE(kiruvo::isWithinOneDay(range(jan5Utc + 9 * hour, jan5Utc + 17 * hour), day, calendar));
    EXPECT_TRUE(kiruvo::isWithinOneDay(range(jan5Utc + 22 * hour, next), day, calendar));
    EXPECT_FALSE(kiruvo::isWithinOneDay(range(jan5Utc + 22 * hour, next + 1), day, calendar));
    EXPECT_TRUE(kiruvo::isWithinOneDay(range(next - 0.5, next + 0.5), day, calendar));
    EXPECT_FALSE(kiruvo::isWithinOneDay(range(jan5Utc, jan5Utc + 0.5), day, calendar));
    EXPECT_FALSE(kiruvo::isWithinOneDay(range(jan5Utc - 1, jan5Utc + hour), day, calendar));
    // The same span in New York lies on the 4th and 5th.
    EXPECT_FALSE(kiruvo::isWithinOneDay(
        range(jan5Utc + 2 * hour, jan5Utc + 6 * hour), day, calendarIn("America/New_York")));
    EXPECT_TRUE(kiruvo::isWithinOneDay(range(jan5Utc + 2 * hour, jan5Utc + 6 * hour), day, calendar));
}

TEST(DayHelpers, ASessionAcrossMidnightSplitsIntoItsDays)
{
    const auto calendar = utcCalendar();
    const Date jan5 = unix(jan5Utc + hour);
    const Date jan6 = unix(jan5Utc + 25 * hour);
    const double midnight = jan5Utc + 24 * hour;

    const auto overnight = range(midnight - hour, midnight + hour);
    EXPECT_TRUE(kiruvo::overlapsDay(overnight, jan5, calendar));
    EXPECT_TRUE(kiruvo::overlapsDay(overnight, jan6, calendar));
    EXPECT_EQ(kiruvo::intersectionWithDay(overnight, jan5, calendar), range(midnight - hour, midnight));
    EXPECT_EQ(kiruvo::intersectionWithDay(overnight, jan6, calendar), range(midnight, midnight + hour));

    // Ending at midnight: only the day before, with a zero-length part on the next day.
    const auto endsAtMidnight = range(midnight - 2 * hour, midnight);
    EXPECT_TRUE(kiruvo::overlapsDay(endsAtMidnight, jan5, calendar));
    EXPECT_FALSE(kiruvo::overlapsDay(endsAtMidnight, jan6, calendar));
    EXPECT_EQ(kiruvo::intersectionWithDay(endsAtMidnight, jan6, calendar), range(midnight, midnight));

    // Starting at midnight: only the day it starts.
    const auto startsAtMidnight = range(midnight, midnight + hour);
    EXPECT_FALSE(kiruvo::overlapsDay(startsAtMidnight, jan5, calendar));
    EXPECT_TRUE(kiruvo::overlapsDay(startsAtMidnight, jan6, calendar));

    EXPECT_FALSE(
        kiruvo::intersectionWithDay(range(jan5Utc + 48 * hour, jan5Utc + 49 * hour), jan5, calendar));
}

TEST(DayHelpers, DaysOf23And25HoursWhenTheClocksChange)
{
    struct Case {
        const char* zone;
        double dayStart; // first instant of the day, Unix time
        double dayLength;
    };
    const Case cases[] = {
        { "Europe/Oslo", 1711839600, 23 * hour }, // 2024-03-31
        { "Europe/Oslo", 1729980000, 25 * hour }, // 2024-10-27
        { "America/New_York", 1710046800, 23 * hour }, // 2024-03-10
        { "America/New_York", 1730606400, 25 * hour }, // 2024-11-03
    };
    for (const auto& c : cases) {
        const auto calendar = calendarIn(c.zone);
        const Date inside = unix(c.dayStart + 5 * hour);
        // A session from 22:00 the day before to 02:00 the day after covers the whole day.
        const auto longSession = range(c.dayStart - 2 * hour, c.dayStart + c.dayLength + 2 * hour);
        const auto part = kiruvo::intersectionWithDay(longSession, inside, calendar);
        ASSERT_TRUE(part) << c.zone;
        EXPECT_EQ(part->duration(), c.dayLength) << c.zone;
        EXPECT_EQ(part->lowerBound, unix(c.dayStart)) << c.zone;

        // A session across the day's end splits at the next day's first instant, not 24 h later.
        const double end = c.dayStart + c.dayLength;
        const auto acrossEnd = range(end - hour, end + hour);
        EXPECT_EQ(kiruvo::intersectionWithDay(acrossEnd, inside, calendar), range(end - hour, end)) << c.zone;
        EXPECT_EQ(kiruvo::intersectionWithDay(acrossEnd, unix(end + 1), calendar), range(end, end + hour))
            << c.zone;
        EXPECT_FALSE(kiruvo::overlapsDay(range(end, end + hour), inside, calendar)) << c.zone;
        EXPECT_TRUE(kiruvo::overlapsDay(range(end - 2, end), inside, calendar)) << c.zone;
    }
}

TEST(DayHelpers, PrecomputedDayGivesTheSameAnswers)
{
    const auto calendar = calendarIn("Europe/Oslo");
    const Date date = unix(1711839600 + hour);
    const auto day = *calendar.dayRange(date);
    for (const auto& session : { range(1711839600 - hour, 1711839600), range(1711839600, 1711839600 + 1),
             range(1711922400 - 10, 1711922400 + 10), range(1711922400, 1711922400 + 5) }) {
        EXPECT_EQ(kiruvo::overlapsDayRange(session, day), kiruvo::overlapsDay(session, date, calendar));
        EXPECT_EQ(kiruvo::intersectionWithDayRange(session, day),
            kiruvo::intersectionWithDay(session, date, calendar));
    }
}

// Shortening by a second never moves a range's end before its start, so an instant at midnight
// (a session cut down to nothing) belongs to the day it starts, not to the day before.
TEST(DayHelpers, AnInstantAtMidnightBelongsOnlyToTheDayItStarts)
{
    const auto calendar = utcCalendar();
    const DateRange instant = range(jan5Utc, jan5Utc);
    EXPECT_TRUE(kiruvo::overlapsDay(instant, unix(jan5Utc + hour), calendar));
    EXPECT_FALSE(kiruvo::overlapsDay(instant, unix(jan5Utc - hour), calendar));
}
