#include "app/intents/SessionIntentObject.h"

#include "platform/fake/FakeClock.h"
#include "platform/time/Calendar.h"
#include "platform/time/Date.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <gtest/gtest.h>

using namespace kiruvo;

namespace {

class SessionIntentObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::TimeZone::setCurrentForTesting(zone("Europe/Oslo"));
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
    }
    void TearDown() override
    {
        platform::TimeZone::setCurrentForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
    }

    static platform::TimeZone zone(const std::string& identifier)
    {
        return *platform::TimeZone::withIdentifier(identifier);
    }

    static platform::Date at(
        const std::string& identifier, int year, int month, int day, int hour, int minute)
    {
        platform::DateComponents components;
        components.year = year;
        components.month = month;
        components.day = day;
        components.hour = hour;
        components.minute = minute;
        components.timeZone = zone(identifier);
        return *platform::Calendar(platform::TimeZone::utc(), platform::Locale("en_US")).date(components);
    }

    platform::fake::ScopedFakeClock fake { at("Europe/Oslo", 2024, 3, 20, 18, 0) };
};

TEST_F(SessionIntentObjectTest, AnHourLongSessionInTheCurrentZone)
{
    const auto session = *Session::make(platform::Uuid::random(), at("Europe/Oslo", 2024, 3, 20, 9, 30),
        at("Europe/Oslo", 2024, 3, 20, 10, 30), zone("Europe/Oslo"));
    const Session_ object = intentObject(session);

    EXPECT_EQ(object.identifier(), session.id().uuidString());
    EXPECT_EQ(object.displayString(), "1 hour");
    EXPECT_EQ(object.subtitleString(), session.dateRangeString());
    EXPECT_EQ(object.duration, 3600.0);

    ASSERT_TRUE(object.startDate && object.endDate);
    EXPECT_EQ(object.startDate->year, 2024);
    EXPECT_EQ(object.startDate->month, 3);
    EXPECT_EQ(object.startDate->day, 20);
    EXPECT_EQ(object.startDate->hour, 9);
    EXPECT_EQ(object.startDate->minute, 30);
    EXPECT_EQ(object.startDate->weekday, 4); // a Wednesday
    EXPECT_EQ(object.startDate->timeZone, zone("Europe/Oslo"));
    EXPECT_EQ(object.endDate->hour, 10);
    EXPECT_EQ(object.endDate->minute, 30);
}

TEST_F(SessionIntentObjectTest, ComponentsAreTheWallClockOfTheSessionsOwnZone)
{
    // 23:30 to 01:15 in New York is 04:30 to 06:15 the next day in Oslo.
    const auto session = *Session::make(platform::Uuid::random(), at("America/New_York", 2024, 3, 19, 23, 30),
        at("America/New_York", 2024, 3, 20, 1, 15), zone("America/New_York"));
    const Session_ object = intentObject(session);

    ASSERT_TRUE(object.startDate && object.endDate);
    EXPECT_EQ(object.startDate->day, 19);
    EXPECT_EQ(object.startDate->hour, 23);
    EXPECT_EQ(object.startDate->minute, 30);
    EXPECT_EQ(object.startDate->weekday, 3);
    EXPECT_EQ(object.startDate->timeZone, zone("America/New_York"));
    EXPECT_EQ(object.endDate->day, 20);
    EXPECT_EQ(object.endDate->hour, 1);
    EXPECT_EQ(object.endDate->minute, 15);

    // Read back in the zone they carry, the components give the session's own instants.
    const platform::Calendar calendar = platform::Calendar::current();
    EXPECT_EQ(calendar.date(*object.startDate), session.dateRange().lowerBound);
    EXPECT_EQ(calendar.date(*object.endDate), session.dateRange().upperBound);
    EXPECT_EQ(object.displayString(), "1 hour, 45 minutes");
}

TEST_F(SessionIntentObjectTest, FractionalSecondsStayInTheDurationAndTheNanoseconds)
{
    const platform::Date start = at("Europe/Oslo", 2024, 3, 20, 9, 0).addingTimeInterval(0.25);
    const auto session = *Session::make(
        platform::Uuid::random(), start, start.addingTimeInterval(59.5), zone("Europe/Oslo"));
    const Session_ object = intentObject(session);
    EXPECT_EQ(object.duration, 59.5);
    EXPECT_EQ(object.startDate->nanosecond, 250000000);
    EXPECT_EQ(object.endDate->second, 59);
    EXPECT_EQ(object.endDate->nanosecond, 750000000);
    EXPECT_EQ(object.displayString(), "1 minute");
}

} // namespace
