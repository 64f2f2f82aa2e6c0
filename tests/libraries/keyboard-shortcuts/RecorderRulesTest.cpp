#include "libraries/keyboard-shortcuts/RecorderRules.h"

#include <gtest/gtest.h>

using KeyboardShortcuts::decideRecorderEvent;
using KeyboardShortcuts::Key;
using KeyboardShortcuts::RecorderContext;
using KeyboardShortcuts::RecorderEvent;
using KeyboardShortcuts::Shortcut;
using Action = KeyboardShortcuts::RecorderDecision::Action;

namespace {

RecorderEvent keyPress(int qtKey, std::optional<Key> key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    RecorderEvent event;
    event.type = RecorderEvent::Type::keyPress;
    event.qtKey = qtKey;
    event.modifiers = modifiers;
    if (key) {
        event.shortcut = Shortcut(*key, modifiers);
    }
    return event;
}

RecorderEvent mouseRelease(bool nearRecorder)
{
    RecorderEvent event;
    event.type = RecorderEvent::Type::mouseRelease;
    event.isNearRecorder = nearRecorder;
    return event;
}

class RecorderRulesTest : public ::testing::Test {
protected:
    RecorderContext context()
    {
        RecorderContext result;
        result.menuItemTitleUsing = [this](const Shortcut& shortcut) -> std::optional<std::string> {
            return shortcut == menuShortcut ? std::optional<std::string>("Quit Kiruvo") : std::nullopt;
        };
        result.isSystemReserved = [this](const Shortcut& shortcut) {
            ++systemQuestions;
            return shortcut == reserved || shortcut == Shortcut(Key::f12) || shortcut == menuShortcut
                || shortcut == Shortcut(Key::f12, Qt::ControlModifier);
        };
        return result;
    }
    Action decide(const RecorderEvent& event) { return decideRecorderEvent(event, context()).action; }

    Shortcut menuShortcut { Key::q, Qt::ControlModifier };
    Shortcut reserved { Key::three, Qt::MetaModifier | Qt::ShiftModifier };
    int systemQuestions = 0;
};

TEST_F(RecorderRulesTest, AModifierWithAKeyIsRecorded)
{
    const auto decision = decideRecorderEvent(keyPress(Qt::Key_A, Key::a, Qt::AltModifier), context());
    EXPECT_EQ(decision.action, Action::record);
    EXPECT_EQ(decision.shortcut, Shortcut(Key::a, Qt::AltModifier));
    EXPECT_FALSE(decision.passesEvent());
    EXPECT_EQ(decide(keyPress(Qt::Key_K, Key::k, Qt::ControlModifier | Qt::ShiftModifier)), Action::record);
    EXPECT_EQ(decide(keyPress(Qt::Key_Return, Key::return_, Qt::MetaModifier)), Action::record);
}

TEST_F(RecorderRulesTest, AKeyAloneOrWithShiftAloneOnlyBeeps)
{
    for (const auto& [qtKey, key] :
        std::vector<std::pair<int, Key>> { { Qt::Key_A, Key::a }, { Qt::Key_Space, Key::space },
            { Qt::Key_Return, Key::return_ }, { Qt::Key_Left, Key::leftArrow } }) {
        EXPECT_EQ(decide(keyPress(qtKey, key)), Action::beep) << qtKey;
        EXPECT_EQ(decide(keyPress(qtKey, key, Qt::ShiftModifier)), Action::beep) << qtKey;
    }
    // The keypad flag is no modifier the user chose.
    EXPECT_EQ(decide(keyPress(Qt::Key_1, Key::keypad1, Qt::KeypadModifier)), Action::beep);
}

TEST_F(RecorderRulesTest, FunctionKeysNeedNoModifier)
{
    EXPECT_EQ(decide(keyPress(Qt::Key_F5, Key::f5)), Action::record);
    EXPECT_EQ(decide(keyPress(Qt::Key_F5, Key::f5, Qt::ShiftModifier)), Action::record);
    // A function key the key-code table cannot name makes no shortcut.
    EXPECT_EQ(decide(keyPress(Qt::Key_F35, std::nullopt)), Action::beep);
}

TEST_F(RecorderRulesTest, EscapeEndsRecordingAndIsSwallowedTabEndsItAndGoesOn)
{
    EXPECT_EQ(decide(keyPress(Qt::Key_Escape, Key::escape)), Action::endRecordingAndDiscard);
    const auto tab = decideRecorderEvent(keyPress(Qt::Key_Tab, Key::tab), context());
    EXPECT_EQ(tab.action, Action::endRecordingAndPass);
    EXPECT_TRUE(tab.passesEvent());
    // With a modifier they are keys like any other.
    EXPECT_EQ(decide(keyPress(Qt::Key_Escape, Key::escape, Qt::ControlModifier)), Action::record);
    EXPECT_EQ(decide(keyPress(Qt::Key_Tab, Key::tab, Qt::AltModifier)), Action::record);
}

TEST_F(RecorderRulesTest, BackspaceAndDeleteClear)
{
    EXPECT_EQ(decide(keyPress(Qt::Key_Backspace, Key::delete_)), Action::clear);
    EXPECT_EQ(decide(keyPress(Qt::Key_Delete, Key::deleteForward)), Action::clear);
    EXPECT_EQ(decide(keyPress(Qt::Key_Backspace, Key::delete_, Qt::ControlModifier)), Action::record);
    EXPECT_EQ(decide(keyPress(Qt::Key_Backspace, Key::delete_, Qt::ShiftModifier)), Action::beep);
}

TEST_F(RecorderRulesTest, AShortcutOfTheMenuIsRefusedBeforeTheSystemIsAsked)
{
    const auto decision = decideRecorderEvent(keyPress(Qt::Key_Q, Key::q, Qt::ControlModifier), context());
    EXPECT_EQ(decision.action, Action::menuConflict);
    EXPECT_EQ(decision.menuItemTitle, "Quit Kiruvo");
    EXPECT_EQ(systemQuestions, 0);
}

TEST_F(RecorderRulesTest, AReservedShortcutIsRefusedButF12AloneNever)
{
    EXPECT_EQ(decide(keyPress(Qt::Key_3, Key::three, Qt::MetaModifier | Qt::ShiftModifier)),
        Action::systemConflict);
    EXPECT_EQ(decide(keyPress(Qt::Key_F12, Key::f12)), Action::record);
    EXPECT_EQ(decide(keyPress(Qt::Key_F12, Key::f12, Qt::ControlModifier)), Action::systemConflict);
}

TEST_F(RecorderRulesTest, AClickAwayEndsRecordingAndReachesItsTarget)
{
    EXPECT_EQ(decide(mouseRelease(false)), Action::endRecordingAndPass);
    EXPECT_EQ(decide(mouseRelease(true)), Action::discard);
    RecorderEvent other;
    EXPECT_EQ(decide(other), Action::discard);
}

TEST(RecorderTextsTest, TheConflictAlertsCloseTheirQuotesAndNameThisDesktop)
{
    EXPECT_EQ(KeyboardShortcuts::menuConflictMessage("Quit"),
        "This keyboard shortcut cannot be used as it's already used by the \u201CQuit\u201D menu item.");
    EXPECT_EQ(KeyboardShortcuts::systemConflictMessage(),
        "This keyboard shortcut cannot be used as it's already a system-wide keyboard shortcut.");
    EXPECT_EQ(KeyboardShortcuts::systemConflictInformativeText("KDE"),
        "Most system-wide keyboard shortcuts can be changed in \u201CSystem Settings \u203A Keyboard \u203A "
        "Shortcuts\u201D.");
    EXPECT_EQ(KeyboardShortcuts::systemConflictInformativeText("ubuntu:GNOME"),
        "Most system-wide keyboard shortcuts can be changed in \u201CSettings \u203A Keyboard \u203A "
        "Keyboard "
        "Shortcuts\u201D.");
    for (const char* desktop : { "KDE", "GNOME", "XFCE", "X-Cinnamon", "MATE", "", "sway" }) {
        const std::string text = KeyboardShortcuts::systemConflictInformativeText(desktop);
        auto count = [&text](const std::string& quote) {
            std::size_t found = 0;
            for (auto at = text.find(quote); at != std::string::npos; at = text.find(quote, at + 1)) {
                ++found;
            }
            return found;
        };
        // Every opening quote is closed, and by a closing one.
        EXPECT_EQ(count("\u201C"), count("\u201D")) << desktop;
        EXPECT_EQ(text.find("\u201C", text.find("\u201C") == std::string::npos ? 0 : text.find("\u201C") + 1),
            std::string::npos)
            << desktop;
        EXPECT_EQ(text.back(), '.') << desktop;
    }
}

} // namespace

TEST(StoredShortcutRules, WhatTheRecorderWouldRefuseBreaksARule)
{
    using KeyboardShortcuts::recorderRuleBrokenBy;
    using KeyboardShortcuts::ShortcutRuleBreak;
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::a)), ShortcutRuleBreak::needsModifier);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::a, Qt::ShiftModifier)), ShortcutRuleBreak::needsModifier);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::tab)), ShortcutRuleBreak::needsModifier);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::space)), ShortcutRuleBreak::needsModifier);
    EXPECT_EQ(
        recorderRuleBrokenBy(Shortcut(Key::shift, Qt::ControlModifier)), ShortcutRuleBreak::modifierKey);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::capsLock)), ShortcutRuleBreak::modifierKey);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut::fromCarbon(Key::a.rawValue(), 0x1000 | 0x10000)),
        ShortcutRuleBreak::unknownModifiers);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut::fromCarbon(70000, 0x1000)), ShortcutRuleBreak::unknownKey);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut::fromCarbon(-3, 0x1000)), ShortcutRuleBreak::unknownKey);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut::fromCarbon(1LL << 40, 0x1000)), ShortcutRuleBreak::unknownKey);

    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::a, Qt::ControlModifier)), std::nullopt);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::k, Qt::MetaModifier | Qt::ShiftModifier)), std::nullopt);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::f5)), std::nullopt);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::f12, Qt::ShiftModifier)), std::nullopt);
    EXPECT_EQ(recorderRuleBrokenBy(Shortcut(Key::tab, Qt::AltModifier)), std::nullopt);
    // Every rule comes with words for the user.
    for (const auto ruleBreak : { ShortcutRuleBreak::needsModifier, ShortcutRuleBreak::modifierKey,
             ShortcutRuleBreak::unknownModifiers, ShortcutRuleBreak::unknownKey }) {
        EXPECT_FALSE(KeyboardShortcuts::ruleBreakReason(ruleBreak).empty());
    }
}
