#include "kit/foundation/ColorAdjustments.h"

#include "kit/foundation/core/ErrorValues.h"
#include "kit/foundation/core/ReportError.h"

#include <gtest/gtest.h>

namespace {

// Extended colours keep their components as half-precision floats.
void expectNear(const zk::HSBA& actual, const zk::HSBA& expected)
{
    EXPECT_NEAR(actual.hue, expected.hue, 2e-3);
    EXPECT_NEAR(actual.saturation, expected.saturation, 2e-3);
    EXPECT_NEAR(actual.brightness, expected.brightness, 2e-3);
    EXPECT_NEAR(actual.alpha, expected.alpha, 2e-3);
}

TEST(ColorAdjustments, ComponentsInExtendedSrgb)
{
    expectNear(zk::hsba(QColor::fromRgbF(1, 0, 0)), { 0, 1, 1, 1 });
    expectNear(zk::hsba(QColor::fromRgbF(0, 0, 1, 0.5f)), { 2.0 / 3, 1, 1, 0.5 });
    expectNear(zk::hsba(QColor::fromRgbF(0.5f, 0.5f, 0.5f)), { 0, 0, 0.5, 1 });
    // A colour of another model is converted first.
    expectNear(zk::hsba(QColor::fromCmykF(0, 1, 1, 0)), { 0, 1, 1, 1 });
}

TEST(ColorAdjustments, AmountsScaleEachComponent)
{
    const QColor teal = QColor::fromHsvF(0.5f, 0.5f, 0.8f, 1);
    expectNear(zk::hsba(zk::adjusting(teal, 0, 0, 0, 0)), zk::hsba(teal));
    EXPECT_EQ(zk::adjusting(teal, 0, 0, 0, 0).spec(), QColor::ExtendedRgb);
    expectNear(zk::hsba(zk::adjusting(teal, 0, 0.1, -0.5, -1)), { 0.5, 0.55, 0.4, 0 });
    expectNear(zk::hsba(zk::adjusting(teal, -1, 0, 0, 0)), { 0, 0.5, 0.8, 1 });
    // Brighter than sRGB holds: the colour leaves the sRGB range instead of being clipped.
    const QColor bright = zk::adjusting(QColor::fromRgbF(1, 1, 1), 0, 0, 0.5, 0);
    EXPECT_NEAR(bright.redF(), 1.5, 2e-3);
}

TEST(ColorAdjustments, InvalidColourIsReportedOnceAndGivesZeros)
{
    std::vector<std::string> reported;
    // The accept test sees every error handed over for a report.
    zk::ErrorReporting::setAcceptPredicate([&reported](const zk::Error& error) {
        reported.push_back(error.localizedDescription());
        return false;
    });
    const QColor adjusted = zk::adjusting(QColor(), 0, 0, 0, 0);
    zk::ErrorReporting::setAcceptPredicate({});
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "Unsupported color space: <Unknown>");
    expectNear(zk::hsba(adjusted), { 0, 0, 0, 0 });
}

} // namespace
