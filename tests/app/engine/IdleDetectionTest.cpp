#include "app/SessionEngineFixture.h"

#include "libraries/defaults/Defaults.h"

using kiruvo::SessionController;
using platform::Date;
using platform::InputEventType;

namespace {

class IdleDetectionTest : public SessionEngineTest { };

} // namespace

TEST_F(IdleDetectionTest, TheUserIdleTimeIsTheSmallestOverTheFiveInputTypes)
{
    idle.source.setAll(1000);
    idle.source.setSecondsSinceLastInput(0); // other devices do not count
    EXPECT_EQ(controller().secondsSinceLastUserInput(), 1000);
    idle.source.recordEvent(InputEventType::keyDown);
    EXPECT_EQ(controller().secondsSinceLastUserInput(), 0);
    idle.source.clearQueries();
    controller().secondsSinceLastUserInput();
    EXPECT_EQ(idle.source.queries(),
        (std::vector<InputEventType> { InputEventType::leftMouseDown, InputEventType::rightMouseDown,
            InputEventType::mouseMoved, InputEventType::keyDown, InputEventType::scrollWheel }));
}

TEST_F(IdleDetectionTest, ASourceWithOneFigureForEveryTypeIsAskedOnce)
{
    idle.source.setDistinguishesEventTypes(false);
    idle.source.setAll(700);
    idle.source.clearQueries();
    EXPECT_EQ(controller().secondsSinceLastUserInput(), 700);
    EXPECT_EQ(idle.source.queries().size(), 1u);
    // The tick asks once too, and acts on that one figure.
    controller().start();
    idle.source.clearQueries();
    controller().checkIdle();
    EXPECT_EQ(idle.source.queries().size(), 1u);
    EXPECT_FALSE(controller().currentSession());
}

TEST_F(IdleDetectionTest, WhileTheUserIsCertainlyActiveTheSourceIsNotAsked)
{
    idle.source.setDistinguishesEventTypes(false);
    controller().setEnabled(false);
    idle.source.setAll(20);
    controller().setEnabled(true);
    idle.source.clearQueries();
    const double started = fake.clock.systemUptime();
    controller().checkIdle();
    EXPECT_EQ(idle.source.queries().size(), 1u);
    // 20 s idle when the session began: no check before 580 s more can find the user idle, and
    // the engine's own check is armed for that moment.
    EXPECT_EQ(controller().nextCheckAt(), started + 580);
    for (int tick = 0; tick < 579; ++tick) {
        fake.clock.advance(1);
        idle.source.advance(1);
        controller().checkIdle();
    }
    EXPECT_EQ(idle.source.queries().size(), 1u);
    ASSERT_TRUE(controller().currentSession());
    fake.clock.advance(1);
    idle.source.advance(1);
    controller().checkIdle();
    EXPECT_EQ(idle.source.queries().size(), 2u);
    EXPECT_FALSE(controller().currentSession());

    // A lower threshold counts from the next tick.
    idle.source.recordEvent(InputEventType::keyDown);
    controller().checkIdle();
    ASSERT_TRUE(controller().currentSession());
    fake.clock.advance(1);
    controller().checkIdle();
    idle.source.clearQueries();
    Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(1));
    fake.clock.advance(1);
    idle.source.advance(1);
    controller().checkIdle();
    EXPECT_EQ(idle.source.queries().size(), 1u);
    EXPECT_FALSE(controller().currentSession());
}

TEST_F(IdleDetectionTest, AnActiveUserGetsASessionAtTheNextTick)
{
    controller().checkIdle();
    ASSERT_TRUE(controller().currentSession());
    const auto running = controller().currentSession();
    fake.clock.advance(1);
    controller().checkIdle();
    EXPECT_EQ(controller().currentSession(), running);
}

TEST_F(IdleDetectionTest, TheSessionStopsWhenTheIdleTimeReachesTheThreshold)
{
    controller().checkIdle();
    fake.clock.advance(1200);
    idle.source.setAll(599.9);
    controller().checkIdle();
    ASSERT_TRUE(controller().currentSession());

    // The idle time grows with the clock.
    fake.clock.advance(0.1);
    idle.source.setAll(600);
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());
    const auto sessions = controller().allSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_NEAR(sessions[0].duration(), 600.11, 1e-6);

    // Still away: nothing starts.
    fake.clock.advance(1);
    idle.source.advance(1);
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());

    // Back: the first tick starts a new session.
    idle.source.recordEvent(InputEventType::mouseMoved);
    controller().checkIdle();
    EXPECT_TRUE(controller().currentSession());
}

TEST_F(IdleDetectionTest, EnablingWhileIdleGivesAShortSessionThatIsNotStored)
{
    idle.source.setAll(5000);
    controller().setEnabled(true);
    ASSERT_TRUE(controller().currentSession());
    fake.clock.advance(1);
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());
    EXPECT_TRUE(controller().allSessions().empty());
}

TEST_F(IdleDetectionTest, NothingHappensWhileDisabledWithoutASession)
{
    controller().setEnabled(false);
    idle.source.setAll(0);
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());
    EXPECT_TRUE(reportLines().empty());
}

TEST_F(IdleDetectionTest, ANegativeDurationIsReportedOnceWithOneAlertAndTheSessionRestartsNow)
{
    // A stored session that starts in the future (the wall clock was put back).
    controller().setAllSessions(
        { session(fake.clock.now().addingTimeInterval(600), fake.clock.now().addingTimeInterval(1200)) });
    controller().continuePreviousSession();
    ASSERT_TRUE(controller().currentSession());
    ASSERT_LT(controller().currentSession()->duration().seconds, 0);

    for (int tick = 0; tick < 5; ++tick) {
        controller().checkIdle();
        fake.clock.advance(1);
    }
    processEvents();
    EXPECT_EQ(alertTitles, std::vector<std::string> { "The duration is negative: -600.0" });
    EXPECT_EQ(reportsContaining("The duration is negative"), 1);
    ASSERT_TRUE(controller().currentSession());
    EXPECT_EQ(controller().currentSession()->duration().seconds, 5);
}

TEST_F(IdleDetectionTest, ASessionFoundRunningWhileDisabledIsStoppedAndReported)
{
    controller().setAllSessions(
        { session(fake.clock.now().addingTimeInterval(-1800), fake.clock.now().addingTimeInterval(-600)) });
    controller().setEnabled(false);
    controller().continuePreviousSession(); // continuing does not enable tracking
    ASSERT_TRUE(controller().currentSession());
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(controller().allSessions().size(), 1u);
    EXPECT_EQ(reportsContaining("Current session was expected to exist but did not."), 1);
}

TEST_F(IdleDetectionTest, ALowerThresholdStopsSooner)
{
    controller();
    Defaults::set(kiruvo::Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(60));
    controller().checkIdle();
    fake.clock.advance(400);
    idle.source.setAll(60);
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());
    ASSERT_EQ(controller().allSessions().size(), 1u);
    EXPECT_NEAR(controller().allSessions()[0].duration(), 340.01, 1e-6);
}
