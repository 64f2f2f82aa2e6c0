#include "app/windows/SettingsFixture.h"

#include "app/windows/GeneralSettings.h"
#include "app/windows/IdleDurationBeforeStopSetting.h"
#include "libraries/defaults/Toggle.h"
#include "libraries/launch-at-login/Toggle.h"
#include "support/DesktopWithoutIdleTime.h"

#include <QLabel>

using namespace kiruvo;
using platform::PropertyList;

TEST_F(SettingsTest, AFreshStoreShowsEnableAtLaunchOnAndTenMinutesOfIdleness)
{
    auto& general = *screen().general();
    EXPECT_TRUE(general.enableAtLaunchToggle()->isChecked());
    EXPECT_EQ(shownText(*general.idleSetting()), "10 minutes");
    EXPECT_FALSE(stored("enableAtLaunch"));
    EXPECT_FALSE(stored("idleDurationBeforeStop"));
    EXPECT_TRUE(general.note()->wordWrap());
}

TEST_F(SettingsTest, TheIdleChoicesAreEveryMinuteToTenThenFifteenTwentyAndThirty)
{
    const auto& idle = *screen().general()->idleSetting();
    ASSERT_EQ(idle.rowCount(), 13);
    EXPECT_EQ(idle.rowText(0).toStdString(), "1 minute");
    EXPECT_EQ(idle.rowText(1).toStdString(), "2 minutes");
    EXPECT_EQ(idle.rowText(10).toStdString(), "15 minutes");
    EXPECT_EQ(idle.rowText(12).toStdString(), "30 minutes");
}

TEST_F(SettingsTest, AStoredIdleDurationOutsideTheChoicesShowsNoRowUntilOneIsChosen)
{
    Defaults::set(Keys::idleDurationBeforeStop(), zk::Duration::fromSeconds(45));
    auto& general = *screen().general();
    EXPECT_EQ(shownText(*general.idleSetting()), "");
    EXPECT_EQ(stored("idleDurationBeforeStop"), PropertyList(std::string("45")));
    choose(*general.idleSetting(), "3 minutes");
    EXPECT_EQ(stored("idleDurationBeforeStop"), PropertyList(std::string("180")));
    // The engine follows at once.
    EXPECT_EQ(controller().idleDurationBeforeStop().seconds, 180);
}

TEST_F(SettingsTest, EnableAtLaunchWritesItsKeyAndFollowsChangesMadeElsewhere)
{
    auto& general = *screen().general();
    general.enableAtLaunchToggle()->click();
    processEvents();
    EXPECT_EQ(stored("enableAtLaunch"), PropertyList(false));
    Defaults::set(Keys::enableAtLaunch(), true);
    Defaults::set(Keys::idleDurationBeforeStop(), zk::Duration::minutes(20));
    processEvents();
    EXPECT_TRUE(general.enableAtLaunchToggle()->isChecked());
    EXPECT_EQ(shownText(*general.idleSetting()), "20 minutes");
}

TEST_F(SettingsTest, LaunchAtLoginShowsAndChangesTheDesktopsLoginItem)
{
    auto& general = *screen().general();
    auto* toggle = general.launchAtLoginToggle();
    EXPECT_EQ(toggle->text().toStdString(), "Launch at login");
    EXPECT_FALSE(toggle->isChecked());
    toggle->click();
    processEvents();
    EXPECT_EQ(loginItems.currentStatus, platform::LoginItemService::Status::enabled);
    EXPECT_TRUE(toggle->isChecked());
    // It comes first, above "Enable at launch".
    EXPECT_LT(toggle->y(), general.enableAtLaunchToggle()->y());
}

TEST_F(SettingsTest, WithoutAnIdleSourceTheIdleRowSaysSessionsDoNotEndUntilOneComes)
{
    DesktopWithoutIdleTime desktop;
    if (!desktop.isRunning()) {
        GTEST_SKIP() << "no private session bus";
    }
    // The engine as the application makes it: after the desktop's idle sources are known.
    m_controller.reset();
    environment.sessionController = &controller();
    auto& general = *screen().general();
    EXPECT_FALSE(general.idleSetting()->isEnabled());
    EXPECT_FALSE(general.idleUnavailableNote()->isHidden());
    EXPECT_EQ(general.idleUnavailableNote()->text().toStdString(), GeneralSettings::idleUnavailableText);
    EXPECT_EQ(shownText(*general.idleSetting()), "10 minutes") << "the choice is kept for later";
    // The note on how idleness is seen would say the opposite.
    EXPECT_TRUE(general.note()->isHidden());

    ASSERT_TRUE(desktop.serviceComes());
    processEvents();
    EXPECT_TRUE(general.idleSetting()->isEnabled());
    EXPECT_TRUE(general.idleUnavailableNote()->isHidden());
    EXPECT_FALSE(general.note()->isHidden());

    ASSERT_TRUE(desktop.serviceGoes());
    processEvents();
    EXPECT_FALSE(general.idleSetting()->isEnabled());
    EXPECT_FALSE(general.idleUnavailableNote()->isHidden());
    EXPECT_TRUE(general.note()->isHidden());
}

TEST_F(SettingsTest, WhileTheIdleServiceIsStillAskedTheIdleRowIsPlain)
{
    DesktopWithoutIdleTime desktop(DesktopWithoutIdleTime::Start::serviceSlowToAnswer);
    if (!desktop.isRunning()) {
        GTEST_SKIP() << "no private session bus";
    }
    m_controller.reset();
    environment.sessionController = &controller();
    auto& general = *screen().general();
    ASSERT_TRUE(desktop.questionArrives());
    processEvents();
    EXPECT_TRUE(general.idleSetting()->isEnabled());
    EXPECT_TRUE(general.idleUnavailableNote()->isHidden());

    // The call times out, and no other source answers.
    ASSERT_TRUE(desktop.slowServiceFails());
    processEvents();
    EXPECT_FALSE(general.idleSetting()->isEnabled());
    EXPECT_FALSE(general.idleUnavailableNote()->isHidden());
}

TEST_F(SettingsTest, WithAnIdleSourceTheIdleRowIsPlain)
{
    auto& general = *screen().general();
    EXPECT_TRUE(general.idleSetting()->isEnabled());
    EXPECT_TRUE(general.idleUnavailableNote()->isHidden());
    EXPECT_FALSE(general.note()->isHidden());
}
