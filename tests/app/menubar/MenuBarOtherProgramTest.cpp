#include "app/MenuBarFixture.h"
#include "app/OtherProgramStore.h"

namespace {

// The status item while another program changes its settings in the store's file.
using MenuBarOtherProgramTest = OtherProgramTest<MenuBarTest>;

} // namespace

// The tray's form set to the icon alone is drawn at once, without a tick, and back to the running
// session's duration in the same way.
TEST_F(MenuBarOtherProgramTest, TheTraysFormFollowsAnotherProgramsSetting)
{
    runSessionFor(600);
    menuBar().update();
    ASSERT_EQ(shown().title, "10m");

    ASSERT_TRUE(other->set("showInMenuBar", "\"icon\""));
    EXPECT_TRUE(OtherProgramStore::heard([&] { return shown().title.isEmpty() && !shown().image.isNull(); }));
    ASSERT_TRUE(other->set("showInMenuBar", "\"currentSessionDuration\""));
    EXPECT_TRUE(OtherProgramStore::heard([&] { return shown().title == "10m"; }));
}
