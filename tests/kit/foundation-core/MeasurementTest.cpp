#include "kit/foundation/core/Measurement.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using zk::Measurement;
using zk::UnitDuration;

namespace {

TEST(MeasurementTest, SumsAndDifferencesAcrossUnits)
{
    const Measurement<UnitDuration> minute { 1, UnitDuration::minutes() };
    const Measurement<UnitDuration> halfMinute { 30, UnitDuration::seconds() };

    // Zero plus a value gives the value in the base unit.
    const auto fromZero = Measurement<UnitDuration>::zero() + minute;
    EXPECT_EQ(fromZero.value, 60);
    EXPECT_EQ(fromZero.unit, UnitDuration::seconds());

    // One unit stays that unit; mixed units meet in the base unit.
    const auto twoMinutes = minute + minute;
    EXPECT_EQ(twoMinutes.value, 2);
    EXPECT_EQ(twoMinutes.unit, UnitDuration::minutes());
    EXPECT_EQ((minute - halfMinute).value, 30);
    EXPECT_EQ((halfMinute - minute).value, -30);
    EXPECT_EQ(
        (Measurement<UnitDuration> { 1, UnitDuration::hours() }).converted(UnitDuration::minutes()).value,
        60);

    auto total = halfMinute;
    total += minute;
    EXPECT_EQ(total, (Measurement<UnitDuration> { 1.5, UnitDuration::minutes() }));
    total -= halfMinute;
    EXPECT_EQ(total, minute);

    const std::vector<Measurement<UnitDuration>> parts { minute, halfMinute,
        { 500, UnitDuration::milliseconds() } };
    EXPECT_EQ(std::accumulate(parts.begin(), parts.end(), Measurement<UnitDuration>::zero()).value, 90.5);
}

} // namespace
