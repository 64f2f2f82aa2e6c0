#include "platform/time/Calendar.h"
#include "platform/fake/FakeClock.h"

#include <gtest/gtest.h>

#include <limits>

using platform::Calendar;
using platform::Date;
using platform::DateComponents;
using platform::DateRange;
using platform::Locale;
using platform::TimeZone;

namespace {

Date unix(double seconds)
{
    return Date::fromUnixTime(seconds);
}

Calendar calendarIn(const char* zone, const char* locale = "en_US")
{
    return Calendar(*TimeZone::withIdentifier(zone), Locale(locale));
}

constexpr double hour = 3600;

} // namespace

TEST(Calendar, DaysLast23Or25HoursWhenTheClocksChange)
{
    struct Case {
        const char* zone;
        double inside; // an instant of the day
        double start;
        double end;
    };
    const Case cases[] = {
        // Oslo springs forward on 2024-03-31 and falls back on 2024-10-27.
        { "Europe/Oslo", 1711839600 + 12 * hour, 1711839600, 1711922400 },
        { "Europe/Oslo", 1729980000 + 2 * hour, 1729980000, 1730070000 },
        // New York on 2024-03-10 and 2024-11-03.
        { "America/New_York", 1710046800 + 20 * hour, 1710046800, 1710129600 },
        { "America/New_York", 1730606400 + 1, 1730606400, 1730696400 },
    };
    for (const auto& c : cases) {
        const auto calendar = calendarIn(c.zone);
        const auto day = calendar.dayRange(unix(c.inside));
        ASSERT_TRUE(day) << c.zone;
        EXPECT_EQ(day->lowerBound, unix(c.start)) << c.zone;
        EXPECT_EQ(day->upperBound, unix(c.end)) << c.zone;
        EXPECT_EQ(calendar.startOfDay(unix(c.inside)), unix(c.start)) << c.zone;
    }
    EXPECT_EQ(calendarIn("Europe/Oslo").dayRange(unix(1711839600 + 1))->duration(), 23 * hour);
    EXPECT_EQ(calendarIn("Europe/Oslo").dayRange(unix(1729980000 + 1))->duration(), 25 * hour);
}

TEST(Calendar, ASkippedMidnightStartsTheDayAtTheFirstInstantAfterTheGap)
{
    // Chile moves from -04 to -03 at midnight starting 2024-09-08: that day begins at 01:00.
    const auto santiago = calendarIn("America/Santiago");
    const auto day = santiago.dayRange(unix(1725768000 + 10 * hour));
    ASSERT_TRUE(day);
    EXPECT_EQ(day->lowerBound, unix(1725768000));
    EXPECT_EQ(day->upperBound, unix(1725850800));
    EXPECT_EQ(day->duration(), 23 * hour);
}

TEST(Calendar, ARepeatedMidnightStartsTheDayAtItsFirstOccurrence)
{
    // Cuba turns 01:00 back to 00:00 on 2023-11-05, so midnight happens twice.
    const auto havana = calendarIn("America/Havana");
    const auto day = havana.dayRange(unix(1699156800 + 12 * hour));
    ASSERT_TRUE(day);
    EXPECT_EQ(day->lowerBound, unix(1699156800));
    EXPECT_EQ(day->upperBound, unix(1699246800));
    // The second midnight still belongs to the same day.
    EXPECT_EQ(havana.startOfDay(unix(1699156800 + hour + 60)), unix(1699156800));
}

TEST(Calendar, TheSameInstantFallsOnDifferentDaysInDifferentZones)
{
    const Date instant = unix(1704495600); // 2024-01-05T23:00Z, 00:00 of the 6th in Oslo
    const auto utc = Calendar(TimeZone::utc(), Locale("en_US"));
    auto oslo = calendarIn("Europe/Oslo");
    EXPECT_EQ(utc.dateComponents(instant)->day, 5);
    EXPECT_EQ(oslo.dateComponents(instant)->day, 6);
    EXPECT_EQ(oslo.dateComponents(instant, TimeZone::utc())->day, 5);
    EXPECT_EQ(oslo.dateComponents(instant)->day, 6); // asking in another zone changed nothing
    EXPECT_FALSE(oslo.isDateInSameDay(instant, instant.addingTimeInterval(-1)));
    EXPECT_TRUE(utc.isDateInSameDay(instant, instant.addingTimeInterval(-1)));

    oslo.setTimeZone(TimeZone::utc());
    EXPECT_EQ(oslo.dateComponents(instant)->day, 5);
}

TEST(Calendar, ComponentsRoundTrip)
{
    const auto oslo = calendarIn("Europe/Oslo");
    const Date instant = unix(1704443400.25); // 2024-01-05T09:30:00.25+01:00, a Friday
    const auto components = oslo.dateComponents(instant);
    ASSERT_TRUE(components);
    EXPECT_EQ(components->year, 2024);
    EXPECT_EQ(components->month, 1);
    EXPECT_EQ(components->day, 5);
    EXPECT_EQ(components->hour, 9);
    EXPECT_EQ(components->minute, 30);
    EXPECT_EQ(components->second, 0);
    EXPECT_EQ(components->nanosecond, 250000000);
    EXPECT_EQ(components->weekday, 6);
    EXPECT_EQ(components->timeZone, oslo.timeZone());
    EXPECT_NEAR(
        oslo.date(*components)->timeIntervalSinceReferenceDate, instant.timeIntervalSinceReferenceDate, 1e-6);

    DateComponents overflowing;
    overflowing.year = 2023;
    overflowing.month = 13;
    overflowing.day = 5;
    overflowing.timeZone = TimeZone::utc();
    EXPECT_EQ(oslo.date(overflowing), unix(1704412800)); // 2024-01-05T00:00Z
}

TEST(Calendar, AddingDaysKeepsTheTimeOfDayAcrossAClockChange)
{
    const auto oslo = calendarIn("Europe/Oslo");
    const Date noonBefore = unix(1711796400); // 2024-03-30T12:00+01:00
    const auto noonAfter = oslo.dateByAddingDays(1, noonBefore);
    ASSERT_TRUE(noonAfter);
    EXPECT_EQ(*noonAfter, unix(1711879200)); // 2024-03-31T12:00+02:00
    EXPECT_EQ(noonAfter->timeIntervalSince(noonBefore), 23 * hour);
    EXPECT_EQ(oslo.dateByAddingDays(-1, *noonAfter), noonBefore);
    // Fractions of a second are carried over.
    EXPECT_EQ(oslo.dateByAdding(Calendar::Component::hour, 1, noonBefore.addingTimeInterval(0.5)),
        noonBefore.addingTimeInterval(hour + 0.5));
}

TEST(Calendar, DaysBetweenCountsCalendarDays)
{
    const auto oslo = calendarIn("Europe/Oslo");
    const Date lateOn30th = unix(1711839600 - 60); // 23:59 on 2024-03-30
    const Date earlyOn31st = unix(1711839600 + 60);
    EXPECT_EQ(oslo.daysBetween(lateOn30th, earlyOn31st), 1);
    EXPECT_EQ(oslo.daysBetween(earlyOn31st, lateOn30th), -1);
    EXPECT_EQ(oslo.daysBetween(earlyOn31st, earlyOn31st.addingTimeInterval(20 * hour)), 0);
    EXPECT_EQ(oslo.daysBetween(unix(1704443400), unix(1730070000)), 297); // 2024-01-05 to 2024-10-28
}

TEST(Calendar, WeekendsAndFirstWeekdayFollowTheLocalesRegion)
{
    const Date friday = unix(1704443400); // 2024-01-05 09:30 in Oslo
    const Date saturday = friday.addingTimeInterval(24 * hour);
    const Date sunday = friday.addingTimeInterval(48 * hour);
    const Date monday = friday.addingTimeInterval(72 * hour);

    const auto us = calendarIn("Europe/Oslo", "en_US");
    EXPECT_FALSE(us.isDateInWeekend(friday));
    EXPECT_TRUE(us.isDateInWeekend(saturday));
    EXPECT_TRUE(us.isDateInWeekend(sunday));
    EXPECT_FALSE(us.isDateInWeekend(monday));
    EXPECT_EQ(us.firstWeekday(), 1);

    const auto israel = calendarIn("Europe/Oslo", "he_IL");
    EXPECT_TRUE(israel.isDateInWeekend(friday));
    EXPECT_TRUE(israel.isDateInWeekend(saturday));
    EXPECT_FALSE(israel.isDateInWeekend(sunday));

    const auto iran = calendarIn("Europe/Oslo", "fa_IR");
    EXPECT_TRUE(iran.isDateInWeekend(friday));
    EXPECT_FALSE(iran.isDateInWeekend(saturday));
    EXPECT_EQ(iran.firstWeekday(), 7);

    EXPECT_EQ(calendarIn("Europe/Oslo", "de_DE").firstWeekday(), 2);
    EXPECT_EQ(us.weekday(friday), 6);
}

TEST(Calendar, TodayIsTheSharedClocksDay)
{
    platform::fake::ScopedFakeClock fake(unix(1704443400)); // 2024-01-05T08:30Z
    const auto newYork = calendarIn("America/New_York");
    EXPECT_TRUE(newYork.isDateInToday(unix(1704412800 + 5 * hour))); // 00:00 in New York
    EXPECT_FALSE(newYork.isDateInToday(unix(1704412800 + 5 * hour - 1)));
    fake.clock.advance(24 * hour);
    EXPECT_FALSE(newYork.isDateInToday(unix(1704443400)));
}

TEST(Calendar, BadDatesAnswerNothing)
{
    const auto oslo = calendarIn("Europe/Oslo");
    const Date nan(std::numeric_limits<double>::quiet_NaN());
    const Date huge(1e300);
    for (const Date bad : { nan, huge, Date(std::numeric_limits<double>::infinity()) }) {
        EXPECT_FALSE(oslo.dayRange(bad));
        EXPECT_FALSE(oslo.dateComponents(bad));
        EXPECT_FALSE(oslo.dateByAddingDays(1, bad));
        EXPECT_FALSE(oslo.daysBetween(bad, unix(0)));
        EXPECT_FALSE(oslo.isDateInWeekend(bad));
        EXPECT_FALSE(oslo.isDateInSameDay(bad, bad));
    }
    EXPECT_EQ(oslo.startOfDay(huge), huge);
}

TEST(Calendar, CopiesAreIndependent)
{
    auto a = calendarIn("Europe/Oslo");
    Calendar b = a;
    b.setTimeZone(*TimeZone::withIdentifier("Asia/Tokyo"));
    EXPECT_EQ(a.timeZone().identifier(), "Europe/Oslo");
    EXPECT_EQ(a.startOfDay(unix(1704443400)), unix(1704409200)); // 2024-01-05T00:00+01:00
    a = b;
    EXPECT_EQ(a.startOfDay(unix(1704443400)), unix(1704380400)); // 2024-01-05T00:00+09:00
}
