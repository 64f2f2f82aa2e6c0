#include "kit/interface/DockProgress.h"
#include "platform/fake/FakeLauncherEntry.h"

#include <gtest/gtest.h>

#include <limits>

using zk::DockProgress;

namespace {

class DockProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DockProgress::resetForTesting();
        platform::LauncherEntry::setShared(&launcher);
    }
    void TearDown() override
    {
        DockProgress::resetForTesting();
        platform::LauncherEntry::setShared(nullptr);
    }

    platform::FakeLauncherEntry launcher;
};

} // namespace

TEST_F(DockProgressTest, SmallStepsAreNotShown)
{
    DockProgress::setProgress(0.5);
    ASSERT_EQ(launcher.updates.size(), 1u);
    EXPECT_TRUE(launcher.updates.back().progressVisible);
    EXPECT_DOUBLE_EQ(launcher.updates.back().progress, 0.5);
    DockProgress::setProgress(0.505);
    EXPECT_EQ(launcher.updates.size(), 1u);
    EXPECT_DOUBLE_EQ(DockProgress::progress(), 0.505);
    DockProgress::setProgress(0.52);
    ASSERT_EQ(launcher.updates.size(), 2u);
    EXPECT_DOUBLE_EQ(launcher.updates.back().progress, 0.52);
    // Done: the plain icon.
    DockProgress::setProgress(1.0);
    EXPECT_FALSE(launcher.updates.back().progressVisible);
    DockProgress::resetProgress();
    EXPECT_DOUBLE_EQ(DockProgress::progress(), 0);
    EXPECT_TRUE(launcher.updates.back().progressVisible);
    EXPECT_DOUBLE_EQ(launcher.updates.back().progress, 0);
}

TEST_F(DockProgressTest, FollowsAProgressUntilItFinishes)
{
    zk::Progress work;
    DockProgress::setProgressInstance(&work);
    work.setFractionCompleted(0.3);
    EXPECT_DOUBLE_EQ(launcher.updates.back().progress, 0.3);
    work.finish();
    EXPECT_DOUBLE_EQ(DockProgress::progress(), 1.0);
    EXPECT_FALSE(launcher.updates.back().progressVisible);
    // Changes after the end are not followed.
    work.setFractionCompleted(0.6);
    EXPECT_DOUBLE_EQ(DockProgress::progress(), 1.0);
}

TEST_F(DockProgressTest, ACancelledProgressFreezesTheLastValueAndEndingResets)
{
    auto* work = new zk::Progress;
    DockProgress::setProgressInstance(work);
    work->setFractionCompleted(0.4);
    work->cancel();
    work->setFractionCompleted(0.8);
    work->finish();
    EXPECT_DOUBLE_EQ(DockProgress::progress(), 0.4);
    const size_t shown = launcher.updates.size();
    delete work;
    EXPECT_EQ(DockProgress::progressInstance(), nullptr);
    EXPECT_DOUBLE_EQ(DockProgress::progress(), 0);
    EXPECT_GT(launcher.updates.size(), shown);
}

TEST_F(DockProgressTest, TheBadgeStyleShowsItsValueAsTheCount)
{
    int value = 7;
    DockProgress::setStyle(DockProgress::Badge { Qt::red, [&] { return value; } });
    EXPECT_TRUE(launcher.updates.empty());
    DockProgress::setProgress(0.2);
    EXPECT_TRUE(launcher.updates.back().countVisible);
    EXPECT_EQ(launcher.updates.back().count, 7);
    value = 8;
    DockProgress::setProgress(0.5);
    EXPECT_EQ(launcher.updates.back().count, 8);
    DockProgress::setStyle(DockProgress::Bar {});
    DockProgress::setProgress(0.7);
    EXPECT_FALSE(launcher.updates.back().countVisible);
}

TEST(DockProgressBadgeTest, BadgeTexts)
{
    EXPECT_EQ(DockProgress::badgeText(7), "7");
    EXPECT_EQ(DockProgress::badgeText(999), "999");
    EXPECT_EQ(DockProgress::badgeText(-42), "-42");
    EXPECT_EQ(DockProgress::badgeText(1000), "1k");
    EXPECT_EQ(DockProgress::badgeText(3999), "3k");
    EXPECT_EQ(DockProgress::badgeText(-1500), "-1k");
    EXPECT_EQ(DockProgress::badgeText(12345), "9k+");
    EXPECT_EQ(DockProgress::badgeText(-10000), "-9k+");
    EXPECT_EQ(DockProgress::badgeText(std::numeric_limits<int>::min()), "-9k+");
}
