#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"

#include <optional>

using platform::InputEventType;

namespace {

// When the engine arms its own idle check, with a source that must be asked for its figure: only
// at the moments the answer could start or end a session, never on a beat of its own.
class IdleCheckScheduleTest : public SessionEngineTest {
protected:
    double uptime() const { return fake.clock.systemUptime(); }

    // Moves the clock to the armed check and runs it there, as the engine's timer does.
    void runArmedCheck()
    {
        const auto at = controller().nextCheckAt();
        ASSERT_TRUE(at.has_value());
        ASSERT_GE(*at, uptime());
        idle.source.advance(*at - uptime());
        fake.clock.advance(*at - uptime());
        controller().checkIdle();
    }
};

TEST_F(IdleCheckScheduleTest, WhileTheUserWorksTheOnlyCheckIsWhenTheFigureCouldReachTheThreshold)
{
    idle.source.setDistinguishesEventTypes(false);
    controller().setEnabled(true);
    // The session's first figure is asked at once.
    EXPECT_EQ(controller().nextCheckAt(), uptime());
    idle.source.setAll(5);
    controller().checkIdle();
    EXPECT_EQ(controller().nextCheckAt(), uptime() + 595);

    // Input meanwhile: the check at 595 s finds a small figure and arms the next one from it.
    idle.source.clearQueries();
    fake.clock.advance(595);
    idle.source.setAll(100);
    const platform::Date lastInput = fake.clock.now().addingTimeInterval(-100);
    controller().checkIdle();
    EXPECT_EQ(idle.source.queries().size(), 1u);
    ASSERT_TRUE(controller().currentSession().has_value());
    EXPECT_EQ(controller().nextCheckAt(), uptime() + 500);

    // A lower threshold brings the check forward at once; a higher one puts it back.
    Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(300));
    processEvents();
    EXPECT_EQ(controller().nextCheckAt(), uptime() + 200);
    Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(900));
    processEvents();
    EXPECT_EQ(controller().nextCheckAt(), uptime() + 800);

    // No input since: the armed check ends the session at the last input.
    runArmedCheck();
    EXPECT_EQ(idle.source.queries().size(), 2u);
    EXPECT_FALSE(controller().currentSession().has_value());
    ASSERT_FALSE(controller().allSessions().empty());
    EXPECT_NEAR(
        controller().allSessions().front().dateRange().upperBound.timeIntervalSince(lastInput), 0, 0.02);
}

TEST_F(IdleCheckScheduleTest, WhileTheUserIsAwayTheSourceIsAskedEverySecondSoTheReturnStartsASessionAtOnce)
{
    idle.source.setDistinguishesEventTypes(false);
    controller().setEnabled(true);
    fake.clock.advance(700);
    idle.source.setAll(650);
    controller().checkIdle();
    ASSERT_FALSE(controller().currentSession().has_value());
    EXPECT_EQ(controller().nextCheckAt(), uptime() + kiruvo::SessionController::awayQuestionInterval);

    idle.source.clearQueries();
    for (int second = 0; second < 30; ++second) {
        runArmedCheck();
    }
    EXPECT_EQ(idle.source.queries().size(), 30u);
    EXPECT_FALSE(controller().currentSession().has_value());

    // A key half a second after the last question: the next one, half a second later, starts it.
    fake.clock.advance(0.5);
    idle.source.recordEvent(InputEventType::keyDown);
    runArmedCheck();
    ASSERT_TRUE(controller().currentSession().has_value());
    EXPECT_LE(controller().currentSession()->duration().seconds, 1.0);
}

TEST_F(IdleCheckScheduleTest, NothingIsArmedWhileTrackingIsOff)
{
    controller().setEnabled(true);
    controller().checkIdle();
    ASSERT_TRUE(controller().nextCheckAt().has_value());
    controller().setEnabled(false);
    EXPECT_FALSE(controller().nextCheckAt().has_value());
    fake.clock.advance(3600);
    idle.source.setAll(3600);
    controller().checkIdle();
    EXPECT_FALSE(controller().nextCheckAt().has_value());

    // A sleep keeps it off; a wake after a sleep while on arms the check for the new session.
    events.sleep();
    events.wake();
    EXPECT_FALSE(controller().nextCheckAt().has_value());
    controller().setEnabled(true);
    events.sleep();
    EXPECT_FALSE(controller().nextCheckAt().has_value());
    events.wake();
    EXPECT_EQ(controller().nextCheckAt(), uptime());
}

TEST_F(IdleCheckScheduleTest, ASessionStartingAheadOfTheClockIsCheckedAtOnce)
{
    controller().setEnabled(true);
    controller().checkIdle();
    fake.clock.advance(30);
    controller().newSession();
    fake.clock.advance(600);
    controller().setEnabled(false);
    // Continued after the wall clock went back an hour: its start lies ahead of the uptime.
    controller().setEnabled(true);
    fake.clock.setNow(fake.clock.now().addingTimeInterval(-3600));
    controller().continuePreviousSession();
    ASSERT_TRUE(controller().currentSession().has_value());
    ASSERT_LT(controller().currentSession()->duration().seconds, 0);
    EXPECT_EQ(controller().nextCheckAt(), uptime());
    controller().checkIdle();
    processEvents();
    EXPECT_EQ(alertTitles.size(), 1u);
    EXPECT_GE(controller().currentSession()->duration().seconds, 0);
    EXPECT_GT(controller().nextCheckAt().value_or(0), uptime());
}

} // namespace
