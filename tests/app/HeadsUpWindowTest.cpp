#include "app/HeadsUpWindow.h"

#include "app/HeartView.h"
#include "kit/foundation/core/Duration.h"
#include "platform/Locale.h"
#include "platform/ReduceMotion.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

using kiruvo::HeadsUpWindow;

namespace {

TEST(HeadsUpWindowGeometryTest, sitsCentredAndRaisedOnOneScreen)
{
    // A 1920 × 1080 screen with a 27 px panel at the top.
    const QRect available(0, 27, 1920, 1053);
    const QRect frame = HeadsUpWindow::frameFor(available);
    EXPECT_EQ(frame.size(), QSize(220, 220));
    EXPECT_EQ(frame.x(), 850);
    // The middle of the area (553.5) minus half the panel, raised by 12 % of 1053 (126.36).
    EXPECT_EQ(frame.y(), 317);
    EXPECT_EQ(frame.center().x(), available.center().x());
    EXPECT_LT(frame.center().y(), available.center().y());
}

TEST(HeadsUpWindowGeometryTest, eachOfTwoScreensGetsItsOwnPlace)
{
    const QRect left(0, 0, 1920, 1040);
    const QRect right(1920, 200, 1280, 1024);
    const QRect leftFrame = HeadsUpWindow::frameFor(left);
    const QRect rightFrame = HeadsUpWindow::frameFor(right);
    EXPECT_EQ(leftFrame, QRect(850, 285, 220, 220)); // 520 − 110 − 124.8
    EXPECT_EQ(rightFrame, QRect(2450, 479, 220, 220)); // 200 + 512 − 110 − 122.88
    EXPECT_TRUE(right.contains(rightFrame));
    EXPECT_FALSE(left.intersects(rightFrame));
}

class HeadsUpWindowTest : public ::testing::Test {
protected:
    void SetUp() override { platform::Locale::setCurrentForTesting(platform::Locale("en_US")); }
    void TearDown() override
    {
        platform::ReduceMotion::setOverrideForTesting(true);
        HeadsUpWindow::closeAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform::ReduceMotion::setOverrideForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
    }
};

TEST_F(HeadsUpWindowTest, showsOnEveryScreenAboveEverythingAndLetsClicksThrough)
{
    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(3900));

    const auto windows = HeadsUpWindow::openWindows();
    const auto screens = QGuiApplication::screens();
    ASSERT_EQ(windows.size(), static_cast<std::size_t>(screens.size()));
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto* window = windows[i];
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->geometry(),
            HeadsUpWindow::frameFor(screens[static_cast<qsizetype>(i)]->availableGeometry()));
        const auto flags = window->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0) << "no fade under Reduce Motion";
        EXPECT_EQ(window->durationText(), QStringLiteral("1 hour, 5 minutes"));
        EXPECT_TRUE(window->heartView()->isVisible());
    }
    EXPECT_DOUBLE_EQ(HeadsUpWindow::duration().seconds, 3900);

    HeadsUpWindow::closeAll();
    EXPECT_TRUE(HeadsUpWindow::openWindows().empty()) << "Reduce Motion closes at once";
}

TEST_F(HeadsUpWindowTest, fadesInFromTransparentAndANewReminderReplacesTheOpenOnes)
{
    platform::ReduceMotion::setOverrideForTesting(false);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(600));
    const auto first = HeadsUpWindow::openWindows();
    ASSERT_FALSE(first.empty());
    EXPECT_DOUBLE_EQ(first.front()->windowOpacity(), 0.0);
    EXPECT_EQ(first.front()->durationText(), QStringLiteral("10 minutes"));

    platform::ReduceMotion::setOverrideForTesting(true);
    HeadsUpWindow::showOnAllScreens(zk::Duration::fromSeconds(1200));
    const auto second = HeadsUpWindow::openWindows();
    ASSERT_EQ(second.size(), first.size());
    for (auto* window : second) {
        EXPECT_EQ(std::count(first.begin(), first.end(), window), 0) << "windows are never reused";
        EXPECT_EQ(window->durationText(), QStringLiteral("20 minutes"));
    }
}

} // namespace
