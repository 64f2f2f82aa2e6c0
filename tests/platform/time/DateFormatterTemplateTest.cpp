#include "platform/time/DateFormatter.h"

#include "platform/time/Date.h"

#include <gtest/gtest.h>

using platform::Date;
using platform::DateFormatter;
using platform::Locale;
using platform::TimeZone;

TEST(DateFormatterTemplate, ArrangesTheTemplatesFieldsTheLocalesWay)
{
    // 2024-05-15T10:00:00Z
    const Date date = Date::fromUnixTime(1715767200.0);
    const auto oslo = *TimeZone::withIdentifier("Europe/Oslo");
    EXPECT_EQ(DateFormatter("EEEEMMMMd", Locale("en_US"), oslo).string(date), "Wednesday, May 15");
    EXPECT_EQ(DateFormatter("EEEEMMMMd", Locale("de_DE"), oslo).string(date), "Mittwoch, 15. Mai");
    // The zone decides the day: it is still the 14th in Honolulu.
    EXPECT_EQ(DateFormatter("EEEEMMMMd", Locale("en_US"), *TimeZone::withIdentifier("Pacific/Honolulu"))
                  .string(date.addingTimeInterval(-11 * 3600)),
        "Tuesday, May 14");
}

TEST(DateFormatterTemplate, NamesTodayAndYesterdayInTheLocalesWords)
{
    EXPECT_EQ(DateFormatter::relativeDayName(0, Locale("en_US")), "Today");
    EXPECT_EQ(DateFormatter::relativeDayName(-1, Locale("en_US")), "Yesterday");
    EXPECT_EQ(DateFormatter::relativeDayName(0, Locale("de_DE")), "Heute");
    EXPECT_EQ(DateFormatter::relativeDayName(-1, Locale("de_DE")), "Gestern");
    EXPECT_FALSE(DateFormatter::relativeDayName(-40, Locale("en_US")));
}
