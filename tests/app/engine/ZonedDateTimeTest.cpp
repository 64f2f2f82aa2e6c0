#include "app/engine/ZonedDateTime.h"

#include "app/engine/Iso8601.h"
#include "platform/store/JsonWriter.h"

#include <gtest/gtest.h>

#include <limits>

using kiruvo::iso8601String;
using kiruvo::ZonedDateTime;
using platform::Date;
using platform::DateRange;
using platform::TimeZone;

namespace {

const TimeZone osloZone = *TimeZone::withIdentifier("Europe/Oslo");

Date unixDate(double seconds)
{
    return Date::fromUnixTime(seconds);
}

ZonedDateTime zoned(double unixSeconds, const TimeZone& zone)
{
    return *ZonedDateTime::make(unixDate(unixSeconds), zone);
}

} // namespace

TEST(Iso8601, InternetDateTimeInTheGivenZone)
{
    const Date instant = unixDate(1704443400); // 2024-01-05T08:30:00Z
    EXPECT_EQ(iso8601String(instant, false, osloZone), "2024-01-05T09:30:00+01:00");
    EXPECT_EQ(iso8601String(instant, true, osloZone), "2024-01-05");
    EXPECT_EQ(iso8601String(instant), "2024-01-05T08:30:00Z");
    EXPECT_EQ(iso8601String(instant, false, TimeZone::utc()), "2024-01-05T08:30:00Z");
    EXPECT_EQ(
        iso8601String(unixDate(1720168200), false, osloZone), "2024-07-05T10:30:00+02:00"); // summer time
    EXPECT_EQ(iso8601String(instant, false, TimeZone::withIdentifier("Asia/Kathmandu")),
        "2024-01-05T14:15:00+05:45");
    EXPECT_EQ(iso8601String(instant, false, TimeZone::withIdentifier("America/St_Johns")),
        "2024-01-05T05:00:00-03:30");
    // Fractions are dropped, not rounded, also before 1970.
    EXPECT_EQ(iso8601String(instant.addingTimeInterval(0.75), false, osloZone), "2024-01-05T09:30:00+01:00");
    EXPECT_EQ(iso8601String(unixDate(-0.5)), "1969-12-31T23:59:59Z");
    EXPECT_EQ(iso8601String(Date(std::numeric_limits<double>::quiet_NaN())), "");
}

TEST(Iso8601, DateOnlyIsTheCalendarDateInTheZone)
{
    const Date lateEvening = unixDate(1704515400); // 2024-01-05T23:30:00-05:00
    EXPECT_EQ(iso8601String(lateEvening, true), "2024-01-06");
    EXPECT_EQ(iso8601String(lateEvening, true, TimeZone::withSecondsFromGMT(-5 * 3600)), "2024-01-05");
    EXPECT_EQ(iso8601String(lateEvening, false, TimeZone::withSecondsFromGMT(-5 * 3600)),
        "2024-01-05T23:30:00-05:00");
}

TEST(Iso8601, RangesJoinTheirEndsEachInItsZone)
{
    const DateRange sameDay { unixDate(1704443400), unixDate(1704450600) };
    EXPECT_EQ(iso8601String(sameDay, true, true, osloZone, osloZone), "2024-01-05--2024-01-05");
    const DateRange months { unixDate(1704443400), unixDate(1709631000) };
    EXPECT_EQ(iso8601String(months, true, true, osloZone, osloZone), "2024-01-05--2024-03-05");
    EXPECT_EQ(iso8601String(sameDay, false, false, osloZone, *TimeZone::withIdentifier("America/New_York")),
        "2024-01-05T09:30:00+01:00/2024-01-05T05:30:00-05:00");
}

TEST(ZonedDateTime, OrderingIgnoresTheZoneButEqualityDoesNot)
{
    const auto a = zoned(100, osloZone);
    const auto b = zoned(100, TimeZone::utc());
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(a > b);
    EXPECT_TRUE(a <= b);
    EXPECT_TRUE(a >= b);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a, zoned(100, osloZone));
    EXPECT_EQ(std::hash<ZonedDateTime>()(a), std::hash<ZonedDateTime>()(zoned(100, osloZone)));
    EXPECT_TRUE(zoned(99, TimeZone::utc()) < a);
    EXPECT_FALSE(ZonedDateTime::make(Date(std::numeric_limits<double>::infinity()), osloZone));
}

TEST(ZonedDateTime, IdTruncatesMillisecondsTowardZero)
{
    EXPECT_EQ(zoned(1.2345, osloZone).id(), "1234-Europe/Oslo");
    EXPECT_EQ(zoned(0.0009, osloZone).id(), "0-Europe/Oslo");
    EXPECT_EQ(zoned(-0.0009, osloZone).id(), "0-Europe/Oslo");
    EXPECT_EQ(zoned(-1, osloZone).id(), "-1000-Europe/Oslo");
    EXPECT_EQ(zoned(1e300, osloZone).id(), "9223372036854775807-Europe/Oslo");
    EXPECT_EQ(zoned(-1e300, osloZone).id(), "-9223372036854775808-Europe/Oslo");
}

TEST(ZonedDateTime, CodedFormRoundTripsAndRefusesMissingKeys)
{
    const auto value = zoned(1704443400.5, osloZone);
    platform::JsonValue json = value;
    EXPECT_EQ(platform::JsonWriter::write(json),
        "{\"instant\":726136200.5,\"timeZone\":{\"identifier\":\"Europe\\/Oslo\"}}");
    EXPECT_EQ(json.get<ZonedDateTime>(), value);

    auto parse = [](const char* text) { return *platform::JsonReader::parse(text); };
    EXPECT_EQ(parse(R"({"instant":1,"timeZone":{"identifier":"GMT"},"x":0})").get<ZonedDateTime>().instant(),
        Date(1));
    EXPECT_ANY_THROW(parse(R"({"instant":1})").get<ZonedDateTime>());
    EXPECT_ANY_THROW(parse(R"({"timeZone":{"identifier":"GMT"}})").get<ZonedDateTime>());
    EXPECT_ANY_THROW(parse(R"({"instant":"1","timeZone":{"identifier":"GMT"}})").get<ZonedDateTime>());
    EXPECT_ANY_THROW(parse(R"({"instant":1,"timeZone":{"identifier":"Nowhere/Land"}})").get<ZonedDateTime>());
}
