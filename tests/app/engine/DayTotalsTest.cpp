#include "app/SessionEngineFixture.h"

using kiruvo::Session;
using platform::Date;

namespace {

class DayTotalsTest : public SessionEngineTest {
protected:
    static double seconds(const std::optional<zk::Duration>& total) { return total ? total->seconds : -1; }
};

} // namespace

TEST_F(DayTotalsTest, NothingTrackedGivesNoTotalsAndZeroAverages)
{
    EXPECT_FALSE(controller().totalDurationForDayAt(fake.clock.now()));
    EXPECT_FALSE(controller().totalDurationYesterday());
    EXPECT_EQ(controller().averageDuration(-6, 0, false), 0);
    EXPECT_EQ(controller().averageDuration(-124, 0, true), 0);
}

TEST_F(DayTotalsTest, TodaysTotalIncludesTheRunningSession)
{
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });
    controller().start();
    fake.clock.advance(20 * 60);
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(fake.clock.now())), 3600 + 1200.01, 1e-6);
    EXPECT_EQ(controller().totalDurationForSessionsAtDay(fake.clock.now()).seconds, 3600);
}

TEST_F(DayTotalsTest, ASessionAcrossMidnightCountsOnEachDayForItsPart)
{
    controller().setAllSessions({ session(oslo(2024, 5, 10, 23), oslo(2024, 5, 11, 1)),
        session(oslo(2024, 5, 9, 22), oslo(2024, 5, 10, 0)) });
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(oslo(2024, 5, 9, 12))), 7200);
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(oslo(2024, 5, 10, 12))), 3600);
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(oslo(2024, 5, 11, 12))), 3600);
    // 23:59:59.7 rounds to the next day.
    EXPECT_EQ(
        seconds(controller().totalDurationForDayAt(oslo(2024, 5, 9, 23, 59, 59).addingTimeInterval(0.7))),
        3600);
}

TEST_F(DayTotalsTest, AShortDayWhenTheClocksGoForwardLastsTwentyThreeHours)
{
    for (const std::string zone : { "Europe/Oslo", "America/New_York" }) {
        SCOPED_TRACE(zone);
        platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier(zone));
        const int day = zone == "Europe/Oslo" ? 31 : 10; // the spring change of 2024
        const Session wholeDay = session(at(zone, 2024, 3, day - 1, 20), at(zone, 2024, 3, day + 1, 4), zone);
        controller().setAllSessions({ wholeDay });
        EXPECT_EQ(seconds(controller().totalDurationForDayAt(at(zone, 2024, 3, day, 12))), 23 * 3600);
        EXPECT_EQ(seconds(controller().totalDurationForDayAt(at(zone, 2024, 3, day - 1, 12))), 4 * 3600);
        EXPECT_EQ(seconds(controller().totalDurationForDayAt(at(zone, 2024, 3, day + 1, 12))), 4 * 3600);
        EXPECT_EQ(controller().sessionsForDayAt(at(zone, 2024, 3, day, 12)).size(), 1u);
    }
}

TEST_F(DayTotalsTest, AZeroLengthSessionGivesNoTotal)
{
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 9)) });
    EXPECT_FALSE(controller().totalDurationYesterday());
    EXPECT_EQ(controller().averageDuration(-6, 0, false), 0);
}

TEST_F(DayTotalsTest, YesterdaysTotalIsTheDayBefore)
{
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10, 30)) });
    EXPECT_EQ(seconds(controller().totalDurationYesterday()), 5400);
}

TEST_F(DayTotalsTest, ANewlyStoredSessionCountsAtOnce)
{
    const Date now = fake.clock.now();
    EXPECT_FALSE(controller().totalDurationForDayAt(now));
    controller().setAllSessions({ session(oslo(2024, 5, 15, 8), oslo(2024, 5, 15, 9)) });
    EXPECT_EQ(seconds(controller().totalDurationForDayAt(now)), 3600);
    // A session stopped now counts at once too, within the same second.
    controller().start();
    fake.clock.advance(600);
    const Date later = fake.clock.now();
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(later)), 4200.01, 1e-6);
    controller().stop(false);
    EXPECT_NEAR(seconds(controller().totalDurationForDayAt(later)), 4200.01, 1e-6);
    EXPECT_EQ(controller().totalDurationForSessionsAtDay(later).seconds,
        controller().totalDurationForDayAt(later)->seconds);
}

TEST_F(DayTotalsTest, DailyTotalsLeaveOutDaysWithoutTime)
{
    controller().setAllSessions({ session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10)),
        session(oslo(2024, 5, 12, 9), oslo(2024, 5, 12, 11)) });
    const auto totals = controller().dailyTotals(
        { oslo(2024, 5, 12, 12), oslo(2024, 5, 13, 12), oslo(2024, 5, 14, 12), oslo(2024, 5, 15, 12) });
    ASSERT_EQ(totals.size(), 2u);
    EXPECT_EQ(totals[0].seconds, 7200);
    EXPECT_EQ(totals[1].seconds, 3600);
}

TEST_F(DayTotalsTest, AveragesCountOnlyDaysWithTimeAndCanLeaveOutWeekends)
{
    // 2024-05-15 is a Wednesday; 11 and 12 May are a weekend.
    controller().setAllSessions({ session(oslo(2024, 5, 15, 9), oslo(2024, 5, 15, 10)),
        session(oslo(2024, 5, 13, 9), oslo(2024, 5, 13, 12)),
        session(oslo(2024, 5, 12, 9), oslo(2024, 5, 12, 14)),
        session(oslo(2024, 5, 11, 9), oslo(2024, 5, 11, 16)) });
    EXPECT_DOUBLE_EQ(controller().averageDuration(-6, 0, false), (1 + 3 + 5 + 7) * 3600 / 4.0);
    EXPECT_DOUBLE_EQ(controller().averageDuration(-124, 0, true), (1 + 3) * 3600 / 2.0);
    EXPECT_DOUBLE_EQ(controller().averageDuration(-124, 0, false), (1 + 3 + 5 + 7) * 3600 / 4.0);
}

TEST_F(DayTotalsTest, TheWeekendFollowsTheLocale)
{
    // In Israel the weekend is Friday and Saturday: 10 and 11 May 2024.
    platform::Locale::setCurrentForTesting(platform::Locale("he_IL"));
    controller().setAllSessions({ session(oslo(2024, 5, 12, 9), oslo(2024, 5, 12, 11)),
        session(oslo(2024, 5, 10, 9), oslo(2024, 5, 10, 14)) });
    EXPECT_DOUBLE_EQ(controller().averageDuration(-6, 0, true), 7200);
}
