#include "app/OtherProgramStore.h"
#include "app/SessionEngineFixture.h"

namespace {

// The session engine while another program changes its settings in the store's file: each change
// takes effect in the running engine as the Settings window's would, with no question asked.
using OtherProgramSettingsTest = OtherProgramTest<SessionEngineTest>;

} // namespace

// A threshold of 5 s set while a session runs ends it at the next tick that finds the user idle
// longer, rather than the 10 minutes read at the start.
TEST_F(OtherProgramSettingsTest, AnIdleThresholdSetMidSessionEndsTheRunningSession)
{
    controller().checkIdle();
    ASSERT_TRUE(controller().currentSession());
    fake.clock.advance(600);
    idle.source.setAll(4);
    controller().checkIdle();
    ASSERT_TRUE(controller().currentSession());

    ASSERT_TRUE(other->set("idleDurationBeforeStop", "\"5\""));
    EXPECT_TRUE(OtherProgramStore::heard([&] { return controller().idleDurationBeforeStop().seconds == 5; }));
    fake.clock.advance(10);
    idle.source.setAll(14);
    controller().checkIdle();
    EXPECT_FALSE(controller().currentSession());
    ASSERT_EQ(controller().allSessions().size(), 1u);
    EXPECT_NEAR(controller().allSessions()[0].duration(), 596, 0.5);
}

// A reminder interval set, then removed, arms and disarms the reminder timer.
TEST_F(OtherProgramSettingsTest, AReminderIntervalSetElsewhereArmsAndDisarmsTheReminders)
{
    controller();
    ASSERT_FALSE(controller().notifyTimerInterval());
    ASSERT_TRUE(other->set("notifyInterval", "\"1200\""));
    EXPECT_TRUE(OtherProgramStore::heard([&] { return controller().notifyTimerInterval() == 1200.0; }));
    ASSERT_TRUE(other->remove("notifyInterval"));
    EXPECT_TRUE(OtherProgramStore::heard([&] { return !controller().notifyTimerInterval(); }));
}
