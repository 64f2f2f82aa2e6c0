#include "ShortcutsTestSupport.h"

#include <QKeyEvent>

#include <unordered_set>

using KeyboardShortcuts::Key;
using KeyboardShortcuts::Name;
using KeyboardShortcuts::Shortcut;

namespace {

using StoredShortcutsTest = ShortcutsTest;

const Shortcut controlOptionA(Key::a, Qt::ControlModifier | Qt::AltModifier);

TEST_F(StoredShortcutsTest, AShortcutIsStoredAsItsCompactJsonTextByteForByte)
{
    const Name name("toggleMenu");
    KeyboardShortcuts::setShortcut(controlOptionA, name);
    ASSERT_TRUE(stored("toggleMenu"));
    EXPECT_EQ(stored("toggleMenu")->getIf<std::string>() ? *stored("toggleMenu")->getIf<std::string>() : "",
        R"({"carbonKeyCode":0,"carbonModifiers":6144})");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), controlOptionA);

    const Shortcut commandShiftF5(Key::f5, Qt::MetaModifier | Qt::ShiftModifier);
    EXPECT_EQ(commandShiftF5.jsonText(), R"({"carbonKeyCode":96,"carbonModifiers":768})");
}

TEST_F(StoredShortcutsTest, TheModifierBitsFollowTheirTableInBothDirections)
{
    EXPECT_EQ(Shortcut(Key::a, Qt::ControlModifier).carbonModifiers(), 0x1000);
    EXPECT_EQ(Shortcut(Key::a, Qt::AltModifier).carbonModifiers(), 0x800);
    EXPECT_EQ(Shortcut(Key::a, Qt::ShiftModifier).carbonModifiers(), 0x200);
    EXPECT_EQ(Shortcut(Key::a, Qt::MetaModifier).carbonModifiers(), 0x100);
    // The keypad and layout-group flags are no modifiers of a shortcut.
    EXPECT_EQ(
        Shortcut(Key::a, Qt::MetaModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier).carbonModifiers(),
        0x100);
    EXPECT_EQ(
        Shortcut::fromCarbon(0, 0x1000 | 0x800 | 0x10000).modifiers(), Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(Shortcut::fromCarbon(0, 0x200 | 0x100).modifiers(), Qt::ShiftModifier | Qt::MetaModifier);
}

TEST_F(StoredShortcutsTest, ClearingStoresFalseAndAnnouncesItOnlyWhenThereWasAShortcut)
{
    const Name name("toggleEnabled");
    KeyboardShortcuts::setShortcut(std::nullopt, name);
    EXPECT_FALSE(stored("toggleEnabled"));
    EXPECT_TRUE(changes.empty());

    KeyboardShortcuts::setShortcut(controlOptionA, name);
    KeyboardShortcuts::setShortcut(std::nullopt, name);
    ASSERT_TRUE(stored("toggleEnabled"));
    EXPECT_TRUE(stored("toggleEnabled")->is<bool>());
    EXPECT_EQ(*stored("toggleEnabled")->getIf<bool>(), false);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    EXPECT_EQ(changes, (std::vector<std::string> { "toggleEnabled", "toggleEnabled" }));

    // Cleared already: nothing more.
    KeyboardShortcuts::setShortcut(std::nullopt, name);
    EXPECT_EQ(changes.size(), 2u);
}

TEST_F(StoredShortcutsTest, ANameWithADefaultWritesItOnceIntoAFreshStore)
{
    const Name first("withDefault", controlOptionA);
    EXPECT_EQ(*stored("withDefault")->getIf<std::string>(), R"({"carbonKeyCode":0,"carbonModifiers":6144})");
    EXPECT_EQ(changes, std::vector<std::string> { "withDefault" });
    EXPECT_TRUE(KeyboardShortcuts::activeHotKeyShortcuts().contains(controlOptionA));
    EXPECT_TRUE(hotKeys.isGrabbed(combinationOf(controlOptionA)));

    const Name again("withDefault", controlOptionA);
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(StoredShortcutsTest, ADisabledNameKeepsItsStateWhenBuiltWithADefault)
{
    store("withDefault", false);
    const Name name("withDefault", controlOptionA);
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
    EXPECT_TRUE(stored("withDefault")->is<bool>());
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(hotKeys.grabs().empty());
}

TEST_F(StoredShortcutsTest, ReadersTakeTheMembersInAnyOrderAndIgnoreOthers)
{
    const Name name("read");
    store("read", R"({"carbonModifiers":256,"extra":[1,2],"carbonKeyCode":12})");
    EXPECT_EQ(KeyboardShortcuts::getShortcut(name), Shortcut(Key::q, Qt::MetaModifier));
    EXPECT_EQ(name.currentShortcut(), Shortcut(Key::q, Qt::MetaModifier));
}

TEST_F(StoredShortcutsTest, AnythingElseReadsAsNoShortcutAndIsLeftAlone)
{
    const Name name("read");
    for (const platform::PropertyList& value :
        std::vector<platform::PropertyList> { "{}", "0", "", R"({"carbonKeyCode":0})",
            R"({"carbonKeyCode":"0","carbonModifiers":0})", R"({"carbonKeyCode":1.5,"carbonModifiers":0})",
            R"({"carbonKeyCode":0,"carbonModifiers":0} x)", R"([0,0])", "not json",
            platform::PropertyList(std::int64_t { 0 }), platform::PropertyList(true) }) {
        store("read", value);
        EXPECT_EQ(KeyboardShortcuts::getShortcut(name), std::nullopt);
        // Clearing a name that has no readable shortcut does nothing, so the value stays.
        KeyboardShortcuts::setShortcut(std::nullopt, name);
        EXPECT_EQ(stored("read"), value);
    }
    EXPECT_TRUE(changes.empty());
}

TEST_F(StoredShortcutsTest, NamesAreEqualAndHashAlikeByRawValueAlone)
{
    const Name plain("same");
    const Name withDefault("same", controlOptionA);
    EXPECT_EQ(plain, withDefault);
    EXPECT_EQ(std::hash<Name>()(plain), std::hash<Name>()(withDefault));
    EXPECT_FALSE(plain == Name("other"));
    const std::unordered_set<Shortcut> shortcuts { controlOptionA, Shortcut::fromCarbon(0, 6144) };
    EXPECT_EQ(shortcuts.size(), 1u);
}

TEST_F(StoredShortcutsTest, ResetGivesEachNameItsDefaultOrClearsIt)
{
    const Name withDefault("withDefault", controlOptionA);
    const Name without("without");
    const Shortcut other(Key::k, Qt::ControlModifier);
    KeyboardShortcuts::setShortcut(other, withDefault);
    changes.clear();

    // A name without a default and without a stored value is left alone.
    KeyboardShortcuts::resetToDefaults({ without });
    EXPECT_FALSE(stored("without"));
    EXPECT_TRUE(changes.empty());

    KeyboardShortcuts::setShortcut(other, without);
    changes.clear();
    KeyboardShortcuts::resetToDefaults({ withDefault, without });
    EXPECT_EQ(KeyboardShortcuts::getShortcut(withDefault), controlOptionA);
    EXPECT_TRUE(stored("without")->is<bool>());
    EXPECT_EQ(changes, (std::vector<std::string> { "withDefault", "without" }));
    EXPECT_FALSE(KeyboardShortcuts::activeHotKeyShortcuts().contains(other));
    EXPECT_TRUE(KeyboardShortcuts::activeHotKeyShortcuts().contains(controlOptionA));
}

TEST_F(StoredShortcutsTest, AKeyEventNamesItsPhysicalKeyWhateverItWrites)
{
    // On X11 the event's key code names the key: the A key with Shift and Alt still is key code 0.
    QKeyEvent x11(
        QEvent::KeyPress, Qt::Key_Q, Qt::ShiftModifier | Qt::AltModifier, *Key::a.x11KeyCode(), 0, 0);
    EXPECT_EQ(Shortcut::fromEvent(&x11), Shortcut(Key::a, Qt::ShiftModifier | Qt::AltModifier));
    // Without a key code, Qt's key on a US layout.
    QKeyEvent plain(QEvent::KeyRelease, Qt::Key_F5, Qt::ControlModifier);
    EXPECT_EQ(Shortcut::fromEvent(&plain), Shortcut(Key::f5, Qt::ControlModifier));
    QKeyEvent modifierAlone(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(Shortcut::fromEvent(&modifierAlone), std::nullopt);
    QEvent other(QEvent::MouseButtonPress);
    EXPECT_EQ(Shortcut::fromEvent(&other), std::nullopt);
}

TEST_F(StoredShortcutsTest, EveryNamedKeyHasAPlaceOnAPcKeyboardExceptFn)
{
    for (const Key key : { Key::a, Key::z, Key::zero, Key::nine, Key::return_, Key::delete_,
             Key::deleteForward, Key::escape, Key::help, Key::space, Key::tab, Key::f1, Key::f20,
             Key::keypad0, Key::keypadEnter, Key::upArrow, Key::mute, Key::capsLock, Key::rightCommand }) {
        const std::optional<std::uint32_t> code = key.x11KeyCode();
        ASSERT_TRUE(code) << key.rawValue();
        EXPECT_EQ(Key::fromX11KeyCode(*code), key);
    }
    EXPECT_EQ(Key::function.x11KeyCode(), std::nullopt);
    EXPECT_EQ(Key(9999).x11KeyCode(), std::nullopt);
    // The A key is evdev 30, so the X server's 38.
    EXPECT_EQ(Key::a.x11KeyCode(), 38u);
}

} // namespace
