#include "app/reminders/HeartMotion.h"

#include <gtest/gtest.h>

#include <cmath>

using kiruvo::HeartMotion;

namespace {

TEST(HeartMotionTest, aLineGoesEvenlyFromItsStartToItsEnd)
{
    const auto line = HeartMotion::linear(1.25, 1.35, 10, 0.125);
    EXPECT_DOUBLE_EQ(line.value(9), 1.25) << "before the start";
    EXPECT_DOUBLE_EQ(line.value(10), 1.25);
    EXPECT_NEAR(line.value(10.0625), 1.30, 1e-12);
    EXPECT_DOUBLE_EQ(line.value(10.125), 1.35);
    EXPECT_DOUBLE_EQ(line.value(11), 1.35);
    EXPECT_NEAR(line.velocity(10.05), 0.8, 1e-12);
    EXPECT_DOUBLE_EQ(line.velocity(10.2), 0);
    EXPECT_FALSE(line.isAtRest(10.1, 0.01));
    EXPECT_TRUE(line.isAtRest(10.125, 0.01));
    EXPECT_DOUBLE_EQ(line.end(), 10.125);

    // No time, or nonsense time, is already there.
    EXPECT_DOUBLE_EQ(HeartMotion::linear(1, 2, 0, 0).value(0), 2);
    EXPECT_DOUBLE_EQ(HeartMotion::linear(1, 2, 0, std::nan("")).value(0), 2);
    EXPECT_TRUE(HeartMotion::linear(1, 2, 0, -1).isAtRest(0, 0));
}

TEST(HeartMotionTest, aSpringSwingsPastItsTargetAndSettles)
{
    const auto spring = HeartMotion::spring(1.35, 1.1, 2);
    EXPECT_DOUBLE_EQ(spring.value(2), 1.35);
    EXPECT_NEAR(spring.velocity(2), 0, 1e-12) << "released from rest";
    // Half a damped swing later it is beyond the target.
    double lowest = 2;
    for (double t = 2; t < 3; t += 0.001) {
        lowest = std::min(lowest, spring.value(t));
    }
    EXPECT_LT(lowest, 1.1);
    EXPECT_GT(lowest, 1.1 - 0.25 * 0.2) << "a damped, not a wild, swing";
    EXPECT_NEAR(spring.value(6), 1.1, 1e-6);

    // The speed is the change of the place.
    for (const double t : { 2.05, 2.2, 2.4, 2.7 }) {
        const double h = 1e-6;
        EXPECT_NEAR(spring.velocity(t), (spring.value(t + h) - spring.value(t - h)) / (2 * h), 1e-4) << t;
    }

    // At rest once no later swing can leave the tolerance, and for good.
    double rested = -1;
    for (double t = 2; t < 4; t += 0.001) {
        if (spring.isAtRest(t, 0.01)) {
            rested = t;
            break;
        }
    }
    ASSERT_GT(rested, 2);
    EXPECT_LT(rested - 2, HeartMotion::springResponse);
    for (double t = rested; t < 5; t += 0.0007) {
        EXPECT_LE(std::abs(spring.value(t) - 1.1), 0.01) << t;
        EXPECT_TRUE(spring.isAtRest(t, 0.01)) << t;
    }
}

TEST(HeartMotionTest, aSpringCarriesOnTheSpeedItIsGiven)
{
    const auto spring = HeartMotion::spring(1.2, 1.1, 0, 2.0);
    EXPECT_NEAR(spring.velocity(0), 2.0, 1e-12);
    EXPECT_GT(spring.value(0.02), 1.2) << "still going up at first";
    EXPECT_FALSE(spring.isAtRest(0.3, 0.01));
}

} // namespace
