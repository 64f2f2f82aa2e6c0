#include "platform/time/Iso8601DateFormatter.h"

#include "platform/time/Date.h"

#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using platform::Date;
using platform::Iso8601DateFormatter;
using platform::TimeZone;

namespace {

TimeZone zone(const char* identifier)
{
    return *TimeZone::withIdentifier(identifier);
}

// ICU's own text of the same pattern, the reference the formatter must match for every date.
std::string icuText(const char* pattern, const TimeZone& timeZone, double unixSeconds)
{
    const icu::Locale posix("en_US_POSIX");
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString(pattern, -1, US_INV), posix, status);
    format.adoptCalendar(new icu::GregorianCalendar(timeZone.icu(), posix, status));
    icu::UnicodeString text;
    format.format(std::floor(unixSeconds) * 1000.0, text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace

TEST(Iso8601DateFormatter, WritesInternetDateTimeInTheZoneWithWholeSeconds)
{
    const Iso8601DateFormatter oslo(Iso8601DateFormatter::Form::internetDateTime, zone("Europe/Oslo"));
    // 2024-05-04T07:15:00.75Z: summer time, fraction dropped.
    EXPECT_EQ(oslo.string(Date::fromUnixTime(1714806900.75)), "2024-05-04T09:15:00+02:00");
    EXPECT_EQ(oslo.string(Date::fromUnixTime(1704443400.0)), "2024-01-05T09:30:00+01:00");
    const Iso8601DateFormatter utc(Iso8601DateFormatter::Form::internetDateTime);
    EXPECT_EQ(utc.string(Date::fromUnixTime(1704443400.0)), "2024-01-05T08:30:00Z");
    const Iso8601DateFormatter kolkata(Iso8601DateFormatter::Form::internetDateTime, zone("Asia/Kolkata"));
    EXPECT_EQ(kolkata.string(Date::fromUnixTime(1704443400.0)), "2024-01-05T14:00:00+05:30");
    const Iso8601DateFormatter newYork(Iso8601DateFormatter::Form::fullDate, zone("America/New_York"));
    EXPECT_EQ(newYork.string(Date::fromUnixTime(1704443400.0 - 10 * 3600)), "2024-01-04");
    // Before 1970 the second still rounds toward the past.
    EXPECT_EQ(utc.string(Date::fromUnixTime(-0.5)), "1969-12-31T23:59:59Z");
}

TEST(Iso8601DateFormatter, NonFiniteDatesHaveNoText)
{
    const Iso8601DateFormatter utc(Iso8601DateFormatter::Form::internetDateTime);
    EXPECT_FALSE(utc.string(Date(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_FALSE(utc.string(Date(std::numeric_limits<double>::infinity())));
}

TEST(Iso8601DateFormatter, MatchesICUForAnyDateInAnyZone)
{
    std::mt19937_64 random(14);
    // Years from 1000 to 12000 around the direct path's edges, seconds and fractions included.
    std::uniform_real_distribution<double> seconds(-30610224000.0, 315537897600.0);
    const char* zones[] = { "Europe/Oslo", "America/St_Johns", "Asia/Kathmandu", "Pacific/Apia", "UTC",
        "Africa/Monrovia", "Europe/Amsterdam", "Australia/Lord_Howe" };
    for (const char* identifier : zones) {
        const TimeZone timeZone = zone(identifier);
        const Iso8601DateFormatter dateTime(Iso8601DateFormatter::Form::internetDateTime, timeZone);
        const Iso8601DateFormatter dateOnly(Iso8601DateFormatter::Form::fullDate, timeZone);
        std::vector<double> instants { -11676096000.0, -11676096001.0, 253402300799.0, 253402300800.0,
            -2208988800.0, 0.0 };
        for (int i = 0; i < 2000; ++i) {
            instants.push_back(seconds(random));
        }
        for (double instant : instants) {
            ASSERT_EQ(dateTime.string(Date::fromUnixTime(instant)),
                icuText("uuuu-MM-dd'T'HH:mm:ssXXX", timeZone, instant))
                << identifier << " " << instant;
            ASSERT_EQ(dateOnly.string(Date::fromUnixTime(instant)), icuText("uuuu-MM-dd", timeZone, instant))
                << identifier << " " << instant;
        }
    }
}
