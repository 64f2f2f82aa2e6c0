#include "platform/time/TimeZone.h"

#include "platform/time/Date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_set>

using platform::Date;
using platform::TimeZone;

namespace {

// 2024-01-05T08:30:00Z and 2024-07-05T08:30:00Z.
const Date winter = Date::fromUnixTime(1704443400.0);
const Date summer = Date::fromUnixTime(1720168200.0);

} // namespace

TEST(TimeZone, RegionZonesFollowDaylightSavingTime)
{
    const auto oslo = TimeZone::withIdentifier("Europe/Oslo");
    ASSERT_TRUE(oslo);
    EXPECT_EQ(oslo->identifier(), "Europe/Oslo");
    EXPECT_EQ(oslo->secondsFromGMT(winter), 3600);
    EXPECT_EQ(oslo->secondsFromGMT(summer), 7200);
    EXPECT_FALSE(oslo->isDaylightSavingTime(winter));
    EXPECT_TRUE(oslo->isDaylightSavingTime(summer));

    const auto newYork = TimeZone::withIdentifier("America/New_York");
    ASSERT_TRUE(newYork);
    EXPECT_EQ(newYork->secondsFromGMT(winter), -5 * 3600);
    EXPECT_EQ(newYork->secondsFromGMT(summer), -4 * 3600);

    const auto kathmandu = TimeZone::withIdentifier("Asia/Kathmandu");
    ASSERT_TRUE(kathmandu);
    EXPECT_EQ(kathmandu->secondsFromGMT(winter), 5 * 3600 + 45 * 60);
}

TEST(TimeZone, UnknownAndEmptyIdentifiersAreRefused)
{
    EXPECT_FALSE(TimeZone::withIdentifier(""));
    EXPECT_FALSE(TimeZone::withIdentifier("Europe/Atlantis"));
    EXPECT_FALSE(TimeZone::withIdentifier("Etc/Unknown"));
    EXPECT_FALSE(TimeZone::withIdentifier("europe/oslo\n"));
}

TEST(TimeZone, FixedOffsets)
{
    const auto minusFive = TimeZone::withSecondsFromGMT(-5 * 3600);
    ASSERT_TRUE(minusFive);
    EXPECT_EQ(minusFive->identifier(), "GMT-05:00");
    EXPECT_EQ(minusFive->secondsFromGMT(summer), -5 * 3600);
    EXPECT_EQ(TimeZone::withSecondsFromGMT(5 * 3600 + 30 * 60)->identifier(), "GMT+05:30");
    EXPECT_EQ(TimeZone::withSecondsFromGMT(0), TimeZone::utc());
    EXPECT_FALSE(TimeZone::withSecondsFromGMT(19 * 3600));
    EXPECT_EQ(TimeZone::utc().secondsFromGMT(summer), 0);
}

TEST(TimeZone, NonFiniteDatesHaveNoOffset)
{
    const auto oslo = *TimeZone::withIdentifier("Europe/Oslo");
    EXPECT_EQ(oslo.secondsFromGMT(Date(std::numeric_limits<double>::quiet_NaN())), 0);
    EXPECT_EQ(oslo.secondsFromGMT(Date(std::numeric_limits<double>::infinity())), 0);
    EXPECT_FALSE(oslo.isDaylightSavingTime(Date(std::numeric_limits<double>::quiet_NaN())));
}

TEST(TimeZone, EqualityAndHashingFollowTheIdentifier)
{
    const auto a = *TimeZone::withIdentifier("Europe/Oslo");
    const auto b = *TimeZone::withIdentifier("Europe/Oslo");
    const auto c = *TimeZone::withIdentifier("Europe/Berlin"); // same rules today, another zone
    EXPECT_EQ(a, b);
    EXPECT_FALSE(a == c);
    std::unordered_set<TimeZone> zones { a, b, c };
    EXPECT_EQ(zones.size(), 2u);
}

TEST(TimeZone, TestingOverrideOfTheCurrentZone)
{
    const auto tokyo = *TimeZone::withIdentifier("Asia/Tokyo");
    TimeZone::setCurrentForTesting(tokyo);
    EXPECT_EQ(TimeZone::current(), tokyo);
    TimeZone::setCurrentForTesting(std::nullopt);
    // The machine's zone is whatever it is, but it is always a known zone.
    EXPECT_TRUE(TimeZone::withIdentifier(TimeZone::current().identifier()));
}
