#include "ShortcutsTestSupport.h"

#include "libraries/keyboard-shortcuts/KeyDisplay.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"

#include <QAction>
#include <QMenu>

using KeyboardShortcuts::Key;
using KeyboardShortcuts::Shortcut;

namespace {

using DisplayTextTest = ShortcutsTest;

TEST_F(DisplayTextTest, WrittenAsTheDesktopWritesShortcuts)
{
    EXPECT_EQ(Shortcut(Key::a, Qt::ControlModifier | Qt::AltModifier).description(), "Ctrl+Alt+A");
    EXPECT_EQ(Shortcut(Key::return_, Qt::MetaModifier).description(), "Super+Return");
    EXPECT_EQ(Shortcut(Key::f5, Qt::ShiftModifier).description(), "Shift+F5");
    EXPECT_EQ(Shortcut(Key::k, Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)
                  .description(),
        "Super+Ctrl+Alt+Shift+K");
    EXPECT_EQ(Shortcut(Key::comma, Qt::ControlModifier).description(), "Ctrl+,");
    // The help key sits where a PC keyboard has Insert.
    EXPECT_EQ(Shortcut(Key::help).description(), "Ins");
    EXPECT_EQ(Shortcut(Key::space, Qt::AltModifier).description(), "Alt+Space");
}

TEST_F(DisplayTextTest, AKeyWithoutTextShowsTheReplacementCharacter)
{
    EXPECT_EQ(Shortcut(Key::function, Qt::ControlModifier).description(), "Ctrl+\uFFFD");
    EXPECT_EQ(Shortcut::fromCarbon(70000, 0x100).description(), "Super+\uFFFD");
    EXPECT_EQ(Shortcut::fromCarbon(70000, 0).description(), "\uFFFD");
    EXPECT_EQ(Shortcut::fromCarbon(-1, 0).keyEquivalent(), "");
}

TEST_F(DisplayTextTest, LettersFollowTheLayoutAndSpecialKeysDoNot)
{
    const auto azerty = platform::XkbKeyboardLayout::fromNames({ "fr", {}, {}, {} });
    ASSERT_NE(azerty, nullptr);
    platform::KeyboardLayout::setShared(azerty.get());
    EXPECT_EQ(Shortcut(Key::a, Qt::MetaModifier).description(), "Super+Q");
    EXPECT_EQ(Shortcut(Key::q, Qt::MetaModifier).description(), "Super+A");
    EXPECT_EQ(Shortcut(Key::m, Qt::MetaModifier).description(), "Super+,");
    EXPECT_EQ(Shortcut(Key::upArrow, Qt::MetaModifier).description(), "Super+Up");
    EXPECT_EQ(Shortcut(Key::space, Qt::MetaModifier).description(), "Super+Space");
    EXPECT_EQ(KeyboardShortcuts::keyCodeToCharacter(Key::a.rawValue()), "q");

    platform::KeyboardLayout::setShared(usLayout.get());
    EXPECT_EQ(Shortcut(Key::a, Qt::MetaModifier).description(), "Super+A");
    EXPECT_EQ(KeyboardShortcuts::keyCodeToCharacter(Key::a.rawValue()), "a");
}

TEST_F(DisplayTextTest, KeyEquivalents)
{
    EXPECT_EQ(Shortcut(Key::f5).keyEquivalent(), "\uF708");
    EXPECT_EQ(Shortcut(Key::f1).keyEquivalent(), "\uF704");
    EXPECT_EQ(Shortcut(Key::f20).keyEquivalent(), "\uF717");
    EXPECT_EQ(Shortcut(Key::a).keyEquivalent(), "a");
    EXPECT_EQ(Shortcut(Key::return_).keyEquivalent(), "↩");
    // The help key's symbol is two characters and no function key.
    EXPECT_EQ(Shortcut(Key::help).keyEquivalent(), "");
    EXPECT_EQ(Shortcut(Key::a, Qt::ControlModifier).keySequence(), QKeySequence(Qt::CTRL | Qt::Key_A));
    EXPECT_EQ(Shortcut(Key::f5, Qt::ShiftModifier).keySequence(), QKeySequence(Qt::SHIFT | Qt::Key_F5));
}

TEST_F(DisplayTextTest, ModifierSymbolsInTheirFixedOrder)
{
    EXPECT_EQ(KeyboardShortcuts::modifierFlagsDescription(Qt::MetaModifier | Qt::ControlModifier), "⌃⌘");
    EXPECT_EQ(KeyboardShortcuts::modifierFlagsDescription(Qt::KeypadModifier), "");
    EXPECT_EQ(KeyboardShortcuts::specialKeySymbols().size(), 35u);
    EXPECT_EQ(KeyboardShortcuts::functionKeyEquivalents().size(), 20u);
}

class MenuConflictTest : public ShortcutsTest {
protected:
    QAction* add(QMenu& into, const QString& title, const QKeySequence& key)
    {
        QAction* item = into.addAction(title);
        item->setShortcut(key);
        return item;
    }
};

TEST_F(MenuConflictTest, ShiftIsAModifierOfItsOwn)
{
    QMenu menu;
    QAction* save = add(menu, "Save", QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction* saveAs = add(menu, "Save As", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::s, Qt::ControlModifier)), save);
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(
                  menu, Shortcut(Key::s, Qt::ControlModifier | Qt::ShiftModifier)),
        saveAs);
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::s, Qt::AltModifier)), nullptr);
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::d, Qt::ControlModifier)), nullptr);
}

TEST_F(MenuConflictTest, SubmenusAreSearchedDepthFirstAndTheFirstMatchWins)
{
    QMenu menu;
    QMenu* one = menu.addMenu("One");
    QMenu* two = one->addMenu("Two");
    QMenu* three = two->addMenu("Three");
    QAction* deep = add(*three, "Deep", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K));
    add(menu, "Later", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K));
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(
                  menu, Shortcut(Key::k, Qt::ControlModifier | Qt::AltModifier)),
        deep);
}

TEST_F(MenuConflictTest, TheMenuIsMatchedAsTheLayoutWritesTheKey)
{
    const auto azerty = platform::XkbKeyboardLayout::fromNames({ "fr", {}, {}, {} });
    ASSERT_NE(azerty, nullptr);
    platform::KeyboardLayout::setShared(azerty.get());
    QMenu menu;
    QAction* quit = add(menu, "Quit", QKeySequence(Qt::CTRL | Qt::Key_Q));
    // On AZERTY the key that writes q is the one at A's place.
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::a, Qt::ControlModifier)), quit);
    EXPECT_EQ(KeyboardShortcuts::menuItemUsingShortcut(menu, Shortcut(Key::q, Qt::ControlModifier)), nullptr);
}

TEST_F(ShortcutsTest, ACombinationHeldByAnotherClientIsReserved)
{
    const Shortcut screenshot(Key::three, Qt::MetaModifier | Qt::ShiftModifier);
    hotKeys.heldElsewhere.push_back(combinationOf(screenshot));
    EXPECT_TRUE(KeyboardShortcuts::isSystemReservedShortcut(screenshot));
    // Extra bits in a shortcut's modifiers do not hide it.
    EXPECT_TRUE(KeyboardShortcuts::isSystemReservedShortcut(
        Shortcut::fromCarbon(screenshot.carbonKeyCode(), screenshot.carbonModifiers() | 0x800000)));
    EXPECT_FALSE(KeyboardShortcuts::isSystemReservedShortcut(Shortcut(Key::three, Qt::MetaModifier)));
    EXPECT_EQ(KeyboardShortcuts::normalizedCarbonModifiers(0x800000 | 0x1000 | 0x100), 0x1100);
}

} // namespace
