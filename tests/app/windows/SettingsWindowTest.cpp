#include "app/windows/SettingsFixture.h"

#include "app/windows/SettingsWindowController.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/interface/WindowUtilities.h"

#include <QApplication>
#include <QTabWidget>

using namespace kiruvo;

class SettingsWindowTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        SettingsWindowController::setEnvironment(environment);
    }
    void TearDown() override
    {
        if (zk::SingletonWindowController::exists<SettingsWindowController>()) {
            zk::SingletonWindowController::shared<SettingsWindowController>().window()->close();
        }
        processEvents();
        SettingsWindowController::setEnvironment({});
        SettingsTest::TearDown();
    }
};

TEST_F(SettingsWindowTest, TheScreenHasTheTabsInOrderOpensOnGeneralAndIs320Wide)
{
    auto& tabs = *screen().tabs();
    ASSERT_EQ(tabs.count(), 4);
    EXPECT_EQ(tabs.tabText(0).toStdString(), "General");
    EXPECT_EQ(tabs.tabText(1).toStdString(), "Menu Bar");
    EXPECT_EQ(tabs.tabText(2).toStdString(), "Notifications");
    EXPECT_EQ(tabs.currentIndex(), 0);
    EXPECT_EQ(tabs.width(), SettingsScreen::contentWidth);
}

TEST_F(SettingsWindowTest, TheOpenerShowsOneFloatingWindowTitledByItsTab)
{
    zk::SettingsWindowOpener::setOpener([] { SettingsWindowController::show(); });
    zk::openSettingsWindow();
    processEvents();
    ASSERT_TRUE(zk::SingletonWindowController::exists<SettingsWindowController>());
    auto& controller = zk::SingletonWindowController::shared<SettingsWindowController>();
    QWidget* window = controller.window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "General");
    EXPECT_EQ(zk::windowLevel(*window), zk::WindowLevel::floating);

    // A second opening brings the same window forward.
    zk::openSettingsWindow();
    processEvents();
    EXPECT_EQ(zk::SingletonWindowController::liveCount(), 1u);
    EXPECT_EQ(controller.window(), window);

    controller.screen().setCurrentTab(SettingsScreen::Tab::menuBar);
    EXPECT_EQ(window->windowTitle().toStdString(), "Menu Bar");
    zk::SettingsWindowOpener::setOpener({});
}

TEST_F(SettingsWindowTest, OpeningOnNotificationsSelectsThatTabAndAClosedWindowStartsAnew)
{
    SettingsWindowController::show(SettingsScreen::Tab::notifications);
    processEvents();
    auto* controller = &zk::SingletonWindowController::shared<SettingsWindowController>();
    EXPECT_EQ(controller->screen().currentTab(), SettingsScreen::Tab::notifications);
    EXPECT_EQ(controller->window()->windowTitle().toStdString(), "Notifications");

    controller->window()->close();
    processEvents();
    EXPECT_FALSE(zk::SingletonWindowController::exists<SettingsWindowController>());
    SettingsWindowController::show();
    processEvents();
    EXPECT_EQ(zk::SingletonWindowController::shared<SettingsWindowController>().screen().currentTab(),
        SettingsScreen::Tab::general);
}
