#include "app/MenuBarFixture.h"

#include "app/reminders/ReminderDelivery.h"
#include "app/startup/AppMain.h"
#include "app/windows/SettingsWindowController.h"
#include "kit/foundation/SettingsWindowOpener.h"

#include <QKeyEvent>

namespace {

using kiruvo::SettingsScreen;
using kiruvo::SettingsWindowController;

class SettingsOpeningTest : public MenuBarTest {
protected:
    void SetUp() override
    {
        MenuBarTest::SetUp();
        kiruvo::SettingsEnvironment environment;
        environment.sessionController = &controller();
        SettingsWindowController::setEnvironment(environment);
        delivery = std::make_unique<kiruvo::ReminderDelivery>(controller());
        kiruvo::AppMain::installSettingsWindow(delivery.get());
    }
    void TearDown() override
    {
        if (zk::SingletonWindowController::exists<SettingsWindowController>()) {
            zk::SingletonWindowController::shared<SettingsWindowController>().window()->close();
        }
        processEvents();
        zk::SettingsWindowOpener::setOpener({});
        SettingsWindowController::setEnvironment({});
        delivery.reset();
        MenuBarTest::TearDown();
    }

    bool settingsShown()
    {
        processEvents();
        return zk::SingletonWindowController::exists<SettingsWindowController>()
            && zk::SingletonWindowController::shared<SettingsWindowController>().window()->isVisible();
    }

    std::unique_ptr<kiruvo::ReminderDelivery> delivery;
};

TEST_F(SettingsOpeningTest, CtrlCommaInTheOpenMenuOpensSettings)
{
    menuBar().showMenu();
    ASSERT_TRUE(menuBar().menu().isVisible());
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Comma, Qt::ControlModifier, QStringLiteral(","));
    QCoreApplication::sendEvent(&menuBar().menu(), &key);
    EXPECT_TRUE(settingsShown());
    EXPECT_FALSE(menuBar().menu().isVisible());
}

TEST_F(SettingsOpeningTest, TheKitsOpenerOpensTheWindowOnItsFirstTab)
{
    zk::openSettingsWindow();
    ASSERT_TRUE(settingsShown());
    EXPECT_EQ(zk::SingletonWindowController::shared<SettingsWindowController>().screen().currentTab(),
        SettingsScreen::Tab::general);
}

} // namespace
