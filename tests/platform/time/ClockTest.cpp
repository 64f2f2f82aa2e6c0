#include "platform/fake/FakeClock.h"

#include <gtest/gtest.h>

using platform::Clock;
using platform::Date;

TEST(Clock, ReferenceDateIsUnixOffset)
{
    EXPECT_DOUBLE_EQ(Date::fromUnixTime(978307200.0).timeIntervalSinceReferenceDate, 0.0);
    EXPECT_DOUBLE_EQ(Date(10.0).unixTime(), 978307210.0);
}

TEST(Clock, FakeSleepMovesWallTimeButNotUptime)
{
    platform::fake::ScopedFakeClock fake(Date(100.0), 50.0);
    fake.clock.advance(10);
    fake.clock.sleep(3600);
    EXPECT_DOUBLE_EQ(Clock::shared().now().timeIntervalSinceReferenceDate, 3710.0);
    EXPECT_DOUBLE_EQ(Clock::shared().systemUptime(), 60.0);
}

TEST(Clock, SystemUptimeIsMonotonic)
{
    platform::SystemClock clock;
    const double a = clock.systemUptime();
    const double b = clock.systemUptime();
    EXPECT_LE(a, b);
    EXPECT_GT(clock.now().timeIntervalSinceReferenceDate, 800000000.0); // after 2026
}
