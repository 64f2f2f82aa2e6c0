#include "app/engine/SharedFormatters.h"
#include "platform/time/Date.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <gtest/gtest.h>

#include <limits>

using kiruvo::SharedFormatters;
using platform::Date;
using platform::Locale;
using platform::TimeZone;

namespace {

class SharedFormattersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Locale::setCurrentForTesting(Locale("en_US"));
        TimeZone::setCurrentForTesting(*TimeZone::withIdentifier("Europe/Oslo"));
    }
    void TearDown() override
    {
        Locale::setCurrentForTesting(std::nullopt);
        TimeZone::setCurrentForTesting(std::nullopt);
    }

    static std::string standalone(double seconds)
    {
        return SharedFormatters::hoursMinutesStandaloneText(zk::Duration::fromSeconds(seconds));
    }
};

} // namespace

TEST_F(SharedFormattersTest, HoursAndMinutesInFull)
{
    EXPECT_EQ(standalone(3900), "1 hour, 5 minutes");
    EXPECT_EQ(standalone(3600), "1 hour");
    EXPECT_EQ(standalone(7260), "2 hours, 1 minute");
    EXPECT_EQ(standalone(60), "1 minute");
    EXPECT_EQ(standalone(90000), "25 hours");
    EXPECT_EQ(standalone(90000 + 29.9), "25 hours");
    EXPECT_EQ(standalone(0), "0 minutes");
    EXPECT_EQ(standalone(29), "0 minutes");
    EXPECT_EQ(standalone(-3900), "-1 hour, 5 minutes");
    EXPECT_EQ(
        SharedFormatters::hoursMinutesInSentenceText(zk::Duration::fromSeconds(3900)), "1 hour, 5 minutes");
    EXPECT_EQ(
        SharedFormatters::hoursMinutesStandalone(Date(100), Date(100 + 150 * 60)), "2 hours, 30 minutes");
}

TEST_F(SharedFormattersTest, MinutesAreRoundedAsTheStatusItemRoundsThem)
{
    // The menu's and the reminder's figures stand beside the panel's: the same minute for the
    // same span, halves rounding up.
    for (const double seconds : { 0.0, 29.0, 30.0, 89.0, 90.0, 119.0, 3599.0, 3630.0, 7229.5 }) {
        const double shown = kiruvo::roundedToWholeMinutes(seconds);
        EXPECT_EQ(standalone(seconds), standalone(shown)) << seconds;
        EXPECT_EQ(SharedFormatters::hoursMinutesInSentenceText(zk::Duration::fromSeconds(seconds)),
            SharedFormatters::hoursMinutesInSentenceText(zk::Duration::fromSeconds(shown)))
            << seconds;
    }
    EXPECT_EQ(standalone(89), "1 minute");
    EXPECT_EQ(standalone(90), "2 minutes");
    EXPECT_EQ(standalone(3599), "1 hour");
    EXPECT_EQ(SharedFormatters::hoursMinutesInSentenceText(zk::Duration::fromSeconds(119)), "2 minutes");
    EXPECT_EQ(SharedFormatters::hoursMinutesStandalone(Date(100), Date(100 + 90)), "2 minutes");
}

TEST_F(SharedFormattersTest, NoTextGivesThePlaceholder)
{
    EXPECT_FALSE(SharedFormatters::hoursMinutesStandalone(zk::Duration::fromSeconds(std::nan(""))));
    EXPECT_EQ(standalone(std::numeric_limits<double>::quiet_NaN()), "!!!");
    EXPECT_EQ(standalone(std::numeric_limits<double>::infinity()), "!!!");
    EXPECT_EQ(standalone(1e300), "!!!");
    EXPECT_EQ(SharedFormatters::hoursMinutesInSentenceText(
                  zk::Duration::fromSeconds(-std::numeric_limits<double>::infinity())),
        "!!!");
}

TEST_F(SharedFormattersTest, ShortTimeIsTheTimeOfDayInTheCurrentZone)
{
    const Date instant = Date::fromUnixTime(1704443400); // 2024-01-05T08:30:00Z
    EXPECT_EQ(SharedFormatters::shortTime(instant), "9:30\u202FAM");
    EXPECT_EQ(SharedFormatters::shortTime(instant.addingTimeInterval(12 * 3600 + 59)), "9:30\u202FPM");
    TimeZone::setCurrentForTesting(*TimeZone::withIdentifier("America/New_York"));
    EXPECT_EQ(SharedFormatters::shortTime(instant), "3:30\u202FAM");
}

TEST_F(SharedFormattersTest, FollowTheCurrentLocale)
{
    Locale::setCurrentForTesting(Locale("de_DE"));
    EXPECT_EQ(standalone(3900), "1 Stunde, 5 Minuten");
    EXPECT_EQ(SharedFormatters::shortTime(Date::fromUnixTime(1704443400)), "09:30");
    Locale::setCurrentForTesting(Locale("en_US"));
    EXPECT_EQ(standalone(3900), "1 hour, 5 minutes");
}
