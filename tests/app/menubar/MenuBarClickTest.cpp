#include "app/MenuBarFixture.h"

#include <QKeyEvent>
#include <QWindow>

#include <gmock/gmock.h>

using KeyboardShortcuts::Shortcut;
using kiruvo::ShortcutNames::toggleEnabled;
using kiruvo::ShortcutNames::toggleMenu;

namespace {

class MenuBarClickTest : public MenuBarTest {
protected:
    enum class Outcome { menu, toggle, nothing };

    // One click with the modifiers held; what it did. The menu is closed again afterwards.
    Outcome click(Qt::MouseButton button, Qt::KeyboardModifiers held = Qt::NoModifier)
    {
        menuBar();
        const bool wasEnabled = controller().isEnabled();
        modifiers = held;
        backend->click(button);
        modifiers = Qt::NoModifier;
        const bool opened = menuBar().menu().isVisible();
        menuBar().menu().hide();
        if (opened) {
            return Outcome::menu;
        }
        return controller().isEnabled() != wasEnabled ? Outcome::toggle : Outcome::nothing;
    }

    void setToggleWithLeftClick(bool on) { Defaults::set(kiruvo::Keys::toggleEnabledWithLeftClick(), on); }

    static platform::HotKeyCombination combinationOf(const Shortcut& shortcut)
    {
        return { *shortcut.key().x11KeyCode(), shortcut.modifiers() };
    }
};

TEST_F(MenuBarClickTest, ByDefaultALeftClickOpensTheMenuAndARightClickOrExactlyCtrlOrAltToggles)
{
    EXPECT_EQ(click(Qt::LeftButton), Outcome::menu);
    EXPECT_EQ(click(Qt::RightButton), Outcome::toggle);
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(click(Qt::RightButton), Outcome::toggle);
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_EQ(click(Qt::RightButton, Qt::ShiftModifier), Outcome::toggle);
    EXPECT_EQ(click(Qt::LeftButton, Qt::ControlModifier), Outcome::toggle);
    EXPECT_EQ(click(Qt::LeftButton, Qt::AltModifier), Outcome::toggle);
    // The numeric pad's flag is no modifier the user chose.
    EXPECT_EQ(click(Qt::LeftButton, Qt::ControlModifier | Qt::KeypadModifier), Outcome::toggle);
    EXPECT_EQ(click(Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier), Outcome::menu);
    EXPECT_EQ(click(Qt::LeftButton, Qt::ShiftModifier), Outcome::menu);
    EXPECT_EQ(click(Qt::LeftButton, Qt::MetaModifier), Outcome::menu);
    // The keyboard layout's group is no modifier the user chose either.
    EXPECT_EQ(click(Qt::LeftButton, Qt::AltModifier | Qt::GroupSwitchModifier), Outcome::toggle);
    // Only the left and right buttons act on the item.
    EXPECT_EQ(click(Qt::MiddleButton), Outcome::nothing);
    EXPECT_EQ(click(Qt::MiddleButton, Qt::ControlModifier), Outcome::nothing);
}

TEST_F(MenuBarClickTest, WithToggleOnLeftClickTheRolesSwap)
{
    setToggleWithLeftClick(true);
    EXPECT_EQ(click(Qt::LeftButton), Outcome::toggle);
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_EQ(click(Qt::LeftButton), Outcome::toggle);
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_EQ(click(Qt::RightButton), Outcome::menu);
    EXPECT_EQ(click(Qt::LeftButton, Qt::ControlModifier), Outcome::menu);
    EXPECT_EQ(click(Qt::LeftButton, Qt::AltModifier | Qt::KeypadModifier), Outcome::menu);
    EXPECT_EQ(click(Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier), Outcome::toggle);
    EXPECT_EQ(click(Qt::MiddleButton), Outcome::nothing);
}

TEST_F(MenuBarClickTest, ChangingTheSettingTakesEffectAtTheNextClick)
{
    EXPECT_EQ(click(Qt::LeftButton), Outcome::menu);
    setToggleWithLeftClick(true);
    EXPECT_EQ(click(Qt::LeftButton), Outcome::toggle);
    setToggleWithLeftClick(false);
    EXPECT_EQ(click(Qt::LeftButton), Outcome::menu);
    EXPECT_EQ(click(Qt::RightButton), Outcome::toggle);
}

TEST_F(MenuBarClickTest, APanelsRequestForTheMenuOpensItAndNeverToggles)
{
    menuBar();
    for (const bool toggleWithLeftClick : { false, true }) {
        setToggleWithLeftClick(toggleWithLeftClick);
        backend->requestMenu();
        EXPECT_TRUE(menuBar().menu().isVisible());
        menuBar().menu().hide();
        EXPECT_TRUE(controller().isEnabled());
    }
}

TEST_F(MenuBarClickTest, APanelThatHoldsTheMenuGetsItBuiltAndInStepWithTracking)
{
    menuBar();
    backend->setExportsMenu(true);
    ASSERT_EQ(backend->menu(), &menuBar().menu());
    const auto titles = [this] {
        QStringList result;
        for (const QAction* action : menuBar().menu().actions()) {
            result << action->text();
        }
        return result;
    };
    // Built before it ever opened.
    EXPECT_TRUE(titles().contains(QStringLiteral("New Session")));
    controller().setEnabled(false);
    EXPECT_TRUE(titles().contains(QStringLiteral("Enable")));
    EXPECT_FALSE(titles().contains(QStringLiteral("Disable")));
    controller().setEnabled(true);
    EXPECT_TRUE(titles().contains(QStringLiteral("Disable")));
    setToggleWithLeftClick(true);
    EXPECT_FALSE(titles().contains(QStringLiteral("Disable")));
    // The panel's own opening builds it afresh, as an opening of the menu does.
    setToggleWithLeftClick(false);
    menuBar().menu().clear();
    backend->prepareMenu();
    EXPECT_TRUE(titles().contains(QStringLiteral("Disable")));
}

TEST_F(MenuBarClickTest, TogglingRedrawsTheItemDimmed)
{
    menuBar();
    EXPECT_FALSE(shown().dimmed);
    click(Qt::RightButton);
    EXPECT_TRUE(shown().dimmed);
    EXPECT_FALSE(controller().currentSession().has_value());
    click(Qt::RightButton);
    EXPECT_FALSE(shown().dimmed);
    // Disabled while no session runs (the user has left): only tracking changes.
    controller().stop(true);
    ASSERT_FALSE(controller().currentSession().has_value());
    click(Qt::RightButton);
    EXPECT_TRUE(shown().dimmed);
}

TEST_F(MenuBarClickTest, TheMenuHangsBelowTheItemOrAboveItWhenThereIsNoRoom)
{
    const QRect screen(0, 0, 1280, 800);
    EXPECT_EQ(kiruvo::MenuBarController::menuPosition(QRect(600, 0, 24, 24), QSize(200, 300), screen),
        QPoint(600, 24));
    // A panel at the bottom.
    EXPECT_EQ(kiruvo::MenuBarController::menuPosition(QRect(600, 776, 24, 24), QSize(200, 300), screen),
        QPoint(600, 476));
    // Kept on screen at the right edge.
    EXPECT_EQ(kiruvo::MenuBarController::menuPosition(QRect(1270, 0, 10, 24), QSize(200, 300), screen),
        QPoint(1080, 24));
    // At the pointer, when that is all there is.
    EXPECT_EQ(kiruvo::MenuBarController::menuPosition(QRect(400, 300, 1, 1), QSize(200, 300), screen),
        QPoint(400, 301));
}

TEST_F(MenuBarClickTest, TheToggleShortcutFlipsTracking)
{
    const Shortcut shortcut(KeyboardShortcuts::Key::t, Qt::ControlModifier | Qt::MetaModifier);
    KeyboardShortcuts::setShortcut(shortcut, toggleEnabled());
    menuBar();
    ASSERT_TRUE(controller().isEnabled());
    EXPECT_TRUE(hotKeys.press(combinationOf(shortcut)));
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_TRUE(hotKeys.press(combinationOf(shortcut)));
    EXPECT_TRUE(controller().isEnabled());
}

TEST_F(MenuBarClickTest, TheMenuShortcutOpensTheMenuInBothClickModes)
{
    const Shortcut shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    KeyboardShortcuts::setShortcut(shortcut, toggleMenu());
    menuBar();
    for (const bool toggleWithLeftClick : { false, true }) {
        setToggleWithLeftClick(toggleWithLeftClick);
        EXPECT_TRUE(hotKeys.press(combinationOf(shortcut)));
        EXPECT_TRUE(hotKeys.release(combinationOf(shortcut)));
        EXPECT_TRUE(menuBar().menu().isVisible()) << toggleWithLeftClick;
        EXPECT_TRUE(controller().isEnabled());
        menuBar().menu().hide();
    }
}

// While the keys are held, the hot key's grab holds the keyboard and our focused window has lost
// the focus to it; a menu shown then is closed by the toolkit when it takes the application for
// inactive. The menu waits for the release.
TEST_F(MenuBarClickTest, TheMenuShortcutOpensTheMenuWhenItsKeysAreLetGo)
{
    const Shortcut shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    KeyboardShortcuts::setShortcut(shortcut, toggleMenu());
    menuBar();
    EXPECT_TRUE(hotKeys.press(combinationOf(shortcut)));
    EXPECT_FALSE(menuBar().menu().isVisible());
    EXPECT_TRUE(hotKeys.release(combinationOf(shortcut)));
    EXPECT_TRUE(menuBar().menu().isVisible());
    menuBar().menu().hide();
    // A release without its press (the press closed the menu through the menu's grab) opens nothing.
    hotKeys.release(combinationOf(shortcut));
    EXPECT_FALSE(menuBar().menu().isVisible());
}

TEST_F(MenuBarClickTest, WhileTheMenuIsOpenItsShortcutClosesItAndGetsItsHotKeyBackAfterwards)
{
    const Shortcut shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    KeyboardShortcuts::setShortcut(shortcut, toggleMenu());
    menuBar();
    EXPECT_TRUE(KeyboardShortcuts::activeHotKeyShortcuts().contains(shortcut));
    EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(shortcut)));
    hotKeys.calls.clear();

    menuBar().showMenu();
    ASSERT_TRUE(menuBar().menu().isVisible());
    EXPECT_THAT(hotKeys.calls, ::testing::ElementsAre("ungrab 1"));
    EXPECT_FALSE(KeyboardShortcuts::activeHotKeyShortcuts().contains(shortcut));

    QWindow* window = menuBar().menu().windowHandle();
    ASSERT_NE(window, nullptr);
    // Another key goes to the menu as usual.
    QKeyEvent other(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(window, &other);
    EXPECT_TRUE(menuBar().menu().isVisible());
    // A modifier alone makes no shortcut.
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QCoreApplication::sendEvent(window, &shift);
    EXPECT_TRUE(menuBar().menu().isVisible());
    // The shortcut's own Alt, pressed first, does not close the menu as a bare Alt would.
    QKeyEvent control(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QCoreApplication::sendEvent(window, &control);
    QKeyEvent alt(QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(window, &alt);
    EXPECT_TRUE(menuBar().menu().isVisible());

    QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(window, &press);
    EXPECT_FALSE(menuBar().menu().isVisible());
    EXPECT_THAT(hotKeys.calls, ::testing::ElementsAre("ungrab 1", "grab 2"));
    EXPECT_TRUE(KeyboardShortcuts::activeHotKeyShortcuts().contains(shortcut));

    // The release that follows opens nothing again.
    hotKeys.release(combinationOf(shortcut));
    EXPECT_FALSE(menuBar().menu().isVisible());
    // And it opens the menu again.
    EXPECT_TRUE(hotKeys.press(combinationOf(shortcut)));
    EXPECT_TRUE(hotKeys.release(combinationOf(shortcut)));
    EXPECT_TRUE(menuBar().menu().isVisible());
}

TEST_F(MenuBarClickTest, TheMenuShortcutClosesTheMenuAlsoFromAnOpenSubmenu)
{
    const Shortcut shortcut(KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    KeyboardShortcuts::setShortcut(shortcut, toggleMenu());
    menuBar().showMenu();
    QAction* more = nullptr;
    for (QAction* action : menuBar().menu().actions()) {
        if (action->text() == "More") {
            more = action;
        }
    }
    ASSERT_NE(more, nullptr);
    QMenu* submenu = more->menu();
    // Opened from the keyboard, as from hovering over "More".
    menuBar().menu().setActiveAction(more);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QCoreApplication::sendEvent(&menuBar().menu(), &right);
    ASSERT_TRUE(submenu->isVisible());

    QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    QCoreApplication::sendEvent(submenu->windowHandle(), &press);
    EXPECT_FALSE(menuBar().menu().isVisible());
    EXPECT_FALSE(submenu->isVisible());
}

TEST_F(MenuBarClickTest, WithoutARecordedShortcutNoHotKeyIsTouched)
{
    menuBar().showMenu();
    menuBar().menu().hide();
    EXPECT_TRUE(hotKeys.calls.empty());
    EXPECT_TRUE(KeyboardShortcuts::activeHotKeyShortcuts().empty());
}

TEST_F(MenuBarClickTest, ASessionEndedOrStartedByTheIdleCheckIsDrawnAtOnce)
{
    menuBar();
    fake.clock.advance(700);
    idle.source.setAll(650);
    controller().checkIdle();
    processEvents();
    // Idle past the threshold: the session ends, and the item shows the heart again.
    EXPECT_FALSE(controller().currentSession().has_value());
    EXPECT_FALSE(shown().image.isNull());
    EXPECT_TRUE(shown().title.isEmpty());

    // Back at the keyboard: the next check starts a session and shows its length.
    idle.source.setAll(0);
    controller().checkIdle();
    processEvents();
    EXPECT_TRUE(controller().currentSession().has_value());
    EXPECT_EQ(shown().title, "0m");
}

TEST_F(MenuBarClickTest, EnableAtLaunchIsAppliedOnTheNextTurnOfTheEventLoop)
{
    controller().setEnabled(false);
    kiruvo::MenuBarController::Environment environment;
    environment.sessionController = &controller();
    environment.makeStatusItemBackend
        = [] { return std::make_unique<platform::fake::FakeStatusItemBackend>(); };
    {
        kiruvo::MenuBarController built(environment);
        EXPECT_FALSE(controller().isEnabled());
        processEvents();
        EXPECT_TRUE(controller().isEnabled());
        EXPECT_TRUE(controller().currentSession().has_value());
    }

    Defaults::set(kiruvo::Keys::enableAtLaunch(), false);
    {
        kiruvo::MenuBarController built(environment);
        processEvents();
        EXPECT_FALSE(controller().isEnabled());
        EXPECT_FALSE(controller().currentSession().has_value());
    }

    // A controller gone before its queued step leaves the engine alone.
    Defaults::set(kiruvo::Keys::enableAtLaunch(), true);
    std::make_unique<kiruvo::MenuBarController>(environment).reset();
    processEvents();
    EXPECT_FALSE(controller().isEnabled());
}

} // namespace
