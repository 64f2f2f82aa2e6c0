#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"

#include <QSignalSpy>

using kiruvo::Session;
using kiruvo::SessionController;
using platform::Date;
using platform::InputEventType;

namespace {

class SessionControllerTest : public SessionEngineTest {
protected:
    // Starts a session now and lets `seconds` of activity pass.
    void runFor(double seconds)
    {
        controller().start();
        fake.clock.advance(seconds);
    }
};

} // namespace

TEST_F(SessionControllerTest, AtCreationTrackingIsOnButNothingRuns)
{
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_FALSE(controller().currentSession());
    EXPECT_EQ(controller().idleDurationBeforeStop().seconds, 600);
    EXPECT_FALSE(controller().notifyTimerInterval());
}

TEST_F(SessionControllerTest, ASessionShorterThanThreeMinutesIsNotStoredButTheHistoryIsStillPruned)
{
    controller().setAllSessions({ session(oslo(2023, 1, 1, 9), oslo(2023, 1, 1, 10)) });
    // 179.99 s of uptime plus the 0.01 s the running range reaches past now is just under 180 s.
    runFor(179.89);
    controller().stop(false);
    EXPECT_FALSE(controller().currentSession());
    EXPECT_TRUE(controller().allSessions().empty()); // the old session was pruned
    ASSERT_TRUE(store()->objectForKey("sessions"));
    EXPECT_TRUE(storedEntries().empty());
}

TEST_F(SessionControllerTest, ASessionOfExactlyThreeMinutesIsStored)
{
    runFor(179.99); // the range ends 0.01 s after now: exactly 180 s
    const Date start = fake.clock.now().addingTimeInterval(-179.99);
    controller().stop(false);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].dateRange().lowerBound, start);
    EXPECT_NEAR(sessions[0].duration(), 180.0, 1e-6);
    EXPECT_EQ(sessions[0].timeZone().identifier(), "Europe/Oslo");
}

TEST_F(SessionControllerTest, StoppingFromIdleEndsTheSessionAtTheLastInput)
{
    runFor(20 * 60);
    idle.source.setAll(10 * 60);
    idle.source.setSecondsSinceLastEvent(InputEventType::scrollWheel, 9 * 60); // the smallest counts
    const Date now = fake.clock.now();
    controller().stop(true);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].dateRange().lowerBound, now.addingTimeInterval(-20 * 60));
    EXPECT_EQ(sessions[0].dateRange().upperBound, now.addingTimeInterval(0.01 - 9 * 60));
}

TEST_F(SessionControllerTest, AnIdleTimeLongerThanTheSessionLeavesNothingToStore)
{
    runFor(400);
    idle.source.setAll(1000);
    controller().stop(true);
    EXPECT_TRUE(controller().allSessions().empty());
    EXPECT_FALSE(controller().currentSession());
}

TEST_F(SessionControllerTest, StopWithoutARunningSessionChangesNothing)
{
    controller();
    EXPECT_FALSE(store()->objectForKey("sessions")->isArray() && !storedEntries().empty());
    const auto key = controller().allSessionsCacheKey();
    controller().stop(false);
    EXPECT_EQ(controller().allSessionsCacheKey(), key);
}

TEST_F(SessionControllerTest, PruningKeepsOnlySessionsStartingWithinTheLast121CalendarDays)
{
    const Date now = fake.clock.now(); // 2024-05-15 12:00 Oslo
    const Date cutoff = oslo(2024, 1, 15, 12); // 121 calendar days earlier
    const Session atCutoff = session(cutoff, cutoff.addingTimeInterval(600));
    const Session justAfter = session(cutoff.addingTimeInterval(1), cutoff.addingTimeInterval(600));
    const Session recent = session(now.addingTimeInterval(-7200), now.addingTimeInterval(-3600));
    controller().setAllSessions({ atCutoff, justAfter, recent });
    controller().start();
    controller().stop(false);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0], recent); // newest first
    EXPECT_EQ(sessions[1], justAfter);
}

TEST_F(SessionControllerTest, AStoredSessionIsMovedToTheFrontByThePrune)
{
    const Session older = session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 10));
    controller().setAllSessions({ older });
    runFor(3600);
    controller().stop(false);
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_GT(sessions[0].dateRange().lowerBound, sessions[1].dateRange().lowerBound);
    EXPECT_EQ(sessions[1], older);
}

TEST_F(SessionControllerTest, EnablingWhileASessionRunsKeepsIt)
{
    runFor(1000);
    const auto running = controller().currentSession();
    controller().setEnabled(true);
    EXPECT_EQ(controller().currentSession(), running);
    EXPECT_TRUE(controller().allSessions().empty());
}

TEST_F(SessionControllerTest, StartingAgainStoresTheRunningSessionFirst)
{
    runFor(1000);
    controller().start();
    EXPECT_EQ(controller().allSessions().size(), 1u);
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->start().seconds, fake.clock.systemUptime());
}

TEST_F(SessionControllerTest, StartWhileDisabledEnablesTrackingAndTellsBothChanges)
{
    controller();
    QSignalSpy enabled(&controller(), &SessionController::enabledChanged);
    QSignalSpy sessions(&controller(), &SessionController::currentSessionChanged);
    controller().setEnabled(false);
    EXPECT_EQ(enabled.count(), 1);
    EXPECT_EQ(sessions.count(), 0) << "no session ran";
    controller().start();
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_TRUE(controller().currentSession());
    ASSERT_EQ(enabled.count(), 2);
    EXPECT_EQ(enabled.at(1).at(0).toBool(), true);
    EXPECT_EQ(sessions.count(), 1);
    // Enabling again changes nothing to tell.
    controller().setEnabled(true);
    EXPECT_EQ(enabled.count(), 2);
    EXPECT_EQ(sessions.count(), 1);
}

// Whoever listens for the running session reads a history that already holds what it stored, and
// hears of every way the session changes.
TEST_F(SessionControllerTest, EveryChangeOfTheRunningSessionIsToldWithTheHistoryInPlace)
{
    const Date now = fake.clock.now();
    controller().setAllSessions({ session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300)) });
    std::vector<std::pair<bool, std::size_t>> told;
    // Heard only while the list is there: the engine runs on until the fixture ends.
    QObject listener;
    QObject::connect(&controller(), &SessionController::currentSessionChanged, &listener, [&] {
        told.emplace_back(controller().currentSession().has_value(), controller().allSessions().size());
    });

    runFor(600);
    controller().stop(false);
    controller().continuePreviousSession();
    EXPECT_EQ(told, (std::vector<std::pair<bool, std::size_t>> { { true, 1 }, { false, 2 }, { true, 1 } }));

    told.clear();
    events.terminate();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_FALSE(told[0].first);
    EXPECT_EQ(told[0].second, 2u) << "the continued session is back in the history when it is told";
}

TEST_F(SessionControllerTest, DisablingStopsAndStoresTheSession)
{
    runFor(600);
    controller().setEnabled(false);
    EXPECT_FALSE(controller().currentSession());
    EXPECT_EQ(controller().allSessions().size(), 1u);
}

TEST_F(SessionControllerTest, SleepWhileEnabledStoresTheSessionAndWakeStartsANewOne)
{
    runFor(900);
    events.sleep();
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_TRUE(controller().wasEnabledBeforeSleep());
    EXPECT_FALSE(controller().currentSession());
    EXPECT_EQ(controller().allSessions().size(), 1u);
    fake.clock.sleep(3600);
    events.wake();
    EXPECT_TRUE(controller().isEnabled());
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->start().seconds, fake.clock.systemUptime());
}

TEST_F(SessionControllerTest, SleepWhileDisabledKeepsTrackingOffAfterWake)
{
    controller().setEnabled(false);
    events.sleep();
    events.wake();
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_FALSE(controller().currentSession());
}

TEST_F(SessionControllerTest, QuitStoresTheRunningSession)
{
    runFor(300);
    events.terminate();
    EXPECT_FALSE(controller().currentSession());
    EXPECT_EQ(controller().allSessions().size(), 1u);
}

TEST_F(SessionControllerTest, NewSessionStoresTheRunningOneAndStartsAgain)
{
    runFor(300);
    controller().newSession();
    EXPECT_EQ(controller().allSessions().size(), 1u);
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->duration().seconds, 0);
}

TEST_F(SessionControllerTest, ContinuingResumesTheNewestStoredSession)
{
    const Date now = fake.clock.now();
    controller().setAllSessions({ session(now.addingTimeInterval(-1800), now.addingTimeInterval(-300)) });
    controller().continuePreviousSession();
    EXPECT_TRUE(controller().allSessions().empty());
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->duration().seconds, 1800);
}

TEST_F(SessionControllerTest, ContinuingWithAnEmptyHistoryReportsAndChangesNothing)
{
    controller().setEnabled(false);
    controller().continuePreviousSession();
    EXPECT_FALSE(controller().currentSession());
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(reportLines().size(), 1u);
}

TEST_F(SessionControllerTest, TheReminderTimerFollowsTheSetting)
{
    controller();
    Defaults::set(kiruvo::Keys::notifyInterval(), std::optional(zk::Duration::minutes(20)));
    ASSERT_TRUE(controller().notifyTimerInterval());
    EXPECT_EQ(*controller().notifyTimerInterval(), 1200);
    Defaults::set(kiruvo::Keys::notifyInterval(), std::optional<zk::Duration>());
    EXPECT_FALSE(controller().notifyTimerInterval());
    EXPECT_FALSE(store()->objectForKey("notifyInterval"));
}

TEST_F(SessionControllerTest, ARefusedIntervalArmsNoTimer)
{
    controller();
    Defaults::set(kiruvo::Keys::notifyInterval(), std::optional(zk::Duration::fromSeconds(0)));
    EXPECT_FALSE(controller().notifyTimerInterval());
}

TEST_F(SessionControllerTest, AReminderCarriesTheRunningDurationPlusTwoSeconds)
{
    controller().fireNotifyTimer(); // nothing runs: no reminder
    EXPECT_TRUE(controller().reminderSeam().recordedCalls().empty());
    runFor(1200);
    controller().fireNotifyTimer();
    ASSERT_EQ(controller().reminderSeam().recordedCalls().size(), 1u);
    EXPECT_EQ(controller().reminderSeam().recordedCalls()[0].seconds, 1202);

    std::vector<double> delivered;
    controller().reminderSeam().install(
        [&](zk::Duration duration) { delivered.push_back(duration.seconds); });
    controller().fireNotifyTimer();
    EXPECT_EQ(delivered, std::vector<double> { 1202 });
    EXPECT_EQ(controller().reminderSeam().recordedCalls().size(), 1u);
}

TEST_F(SessionControllerTest, TheIdleThresholdFollowsTheSetting)
{
    controller();
    Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::minutes(5));
    EXPECT_EQ(controller().idleDurationBeforeStop().seconds, 300);
}
