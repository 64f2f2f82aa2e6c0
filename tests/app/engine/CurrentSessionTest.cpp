#include "app/engine/CurrentSession.h"
#include "platform/fake/FakeClock.h"

#include <gtest/gtest.h>

#include <vector>

using kiruvo::CurrentSession;
using platform::Date;

namespace {

class CurrentSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CurrentSession::setReportHandler(
            [this](const CurrentSession::Report& report) { reports.push_back(report); });
    }
    void TearDown() override { CurrentSession::setReportHandler(nullptr); }

    platform::fake::ScopedFakeClock fake { Date(700000000), 5000 };
    std::vector<CurrentSession::Report> reports;
};

} // namespace

TEST_F(CurrentSessionTest, RangeRunsFromTheStartToJustAfterNow)
{
    const CurrentSession session(zk::Duration::fromSeconds(4940));
    EXPECT_EQ(session.duration().seconds, 60);
    const auto range = session.dateRange();
    EXPECT_EQ(range.lowerBound, Date(700000000 - 60));
    EXPECT_EQ(range.upperBound, Date(700000000.01));
    EXPECT_NEAR(range.duration(), 60.01, 1e-6);
    EXPECT_TRUE(reports.empty());
}

TEST_F(CurrentSessionTest, AWallClockChangeMovesTheRangeButNotTheDuration)
{
    const CurrentSession session(zk::Duration::fromSeconds(4000));
    fake.clock.setNow(Date(800000000));
    EXPECT_EQ(session.duration().seconds, 1000);
    EXPECT_EQ(session.dateRange().lowerBound, Date(800000000 - 1000));
    // A suspend moves the wall clock alone: the time asleep is not activity.
    fake.clock.sleep(3600);
    EXPECT_EQ(session.duration().seconds, 1000);
    EXPECT_EQ(session.dateRange().lowerBound, Date(800003600 - 1000));
}

TEST_F(CurrentSessionTest, AZeroDurationIsReportedOnceAndGivesAnEmptyRange)
{
    const CurrentSession session(zk::Duration::fromSeconds(5000));
    const auto range = session.dateRange();
    EXPECT_EQ(range.lowerBound, Date(700000000.01));
    EXPECT_EQ(range.upperBound, Date(700000000.01));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].description, "Duration was zero or less: " + zk::Duration::zero().description());
    EXPECT_EQ(reports[0].metadata.at("currentSession.start"), zk::Duration::fromSeconds(5000).description());
    EXPECT_EQ(reports[0].metadata.at("currentSession.dateRange"),
        "2023-03-08 20:26:40 +0000...2023-03-08 20:26:40 +0000");
}

TEST_F(CurrentSessionTest, AStartInTheFutureIsReportedWithTheNegativeDuration)
{
    const CurrentSession session(zk::Duration::fromSeconds(5030));
    const auto range = session.dateRange();
    EXPECT_EQ(range.duration(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(
        reports[0].metadata.at("currentSession.duration"), zk::Duration::fromSeconds(-30).description());

    reports.clear();
    const CurrentSession broken(zk::Duration::fromSeconds(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(broken.dateRange().duration(), 0);
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(CurrentSessionTest, DebugInfoIsReadAtTheCall)
{
    const CurrentSession session(zk::Duration::fromSeconds(4400));
    fake.clock.advance(10);
    const auto info = session.debugInfo();
    EXPECT_EQ(info.size(), 3u);
    EXPECT_EQ(info.at("currentSession.duration"), zk::Duration::fromSeconds(610).description());
    EXPECT_EQ(info.at("currentSession.dateRange"), "2023-03-08 20:16:40 +0000...2023-03-08 20:26:50 +0000");
    EXPECT_TRUE(reports.empty());
}
