#pragma once

#include "libraries/keyboard-shortcuts/Shortcut.h"

#include <functional>
#include <optional>
#include <string>

// What a recording shortcut recorder does with one input event, as a pure function of the event
// and of what the application and the desktop already use, so that every rule can be checked
// without a display.
namespace KeyboardShortcuts {

struct RecorderEvent {
    enum class Type { keyPress, keyRelease, mouseRelease, other };

    Type type = Type::other;
    // Qt's key of a key event (Qt::Key_Tab, Qt::Key_F5...).
    int qtKey = 0;
    // The modifiers the user holds, without the keypad and layout-group flags.
    Qt::KeyboardModifiers modifiers;
    // The shortcut the key event makes (Shortcut::fromEvent); nothing for a key it cannot name.
    std::optional<Shortcut> shortcut;
    // For a mouse release: whether it lies within the recorder grown by 3 pixels on every side.
    bool isNearRecorder = false;
};

struct RecorderContext {
    // The title of the application's menu item that uses the shortcut; nothing when none does.
    std::function<std::optional<std::string>(const Shortcut&)> menuItemTitleUsing;
    // Whether the desktop or another application holds the shortcut.
    std::function<bool(const Shortcut&)> isSystemReserved;
};

struct RecorderDecision {
    enum class Action {
        // Swallow the event; recording goes on.
        discard,
        // End recording; the event goes on (Tab and Shift+Tab move the focus, a click reaches its
        // target).
        endRecordingAndPass,
        // End recording and swallow the event (Escape).
        endRecordingAndDiscard,
        // Clear the name's shortcut and go on recording.
        clear,
        // Beep, swallow the event, go on recording: the key needs a modifier.
        beep,
        // Refuse with the menu-item alert, then go on recording.
        menuConflict,
        // Refuse with the system alert, then go on recording.
        systemConflict,
        // Store the shortcut and end recording.
        record,
    };

    Action action = Action::discard;
    std::optional<Shortcut> shortcut;
    // The menu item's title.
    std::string menuItemTitle;

    bool passesEvent() const { return action == Action::endRecordingAndPass; }
};

RecorderDecision decideRecorderEvent(const RecorderEvent& event, const RecorderContext& context);

// The rules a stored shortcut must keep to be taken from the desktop: those by which the recorder
// refuses a key. A store edited by hand, or restored from elsewhere, can hold anything; a bare
// letter taken from the desktop would be lost to every application.
enum class ShortcutRuleBreak {
    // No Ctrl, Alt or Super (Shift alone counts as none) with a key other than F1 to F20.
    needsModifier,
    // A modifier key (Shift, Ctrl, Caps Lock...) as the key itself.
    modifierKey,
    // Modifier bits no key press gives.
    unknownModifiers,
    // A key code this keyboard has no key for.
    unknownKey,
};
// The first rule the shortcut breaks; nothing for one the recorder could have recorded.
std::optional<ShortcutRuleBreak> recorderRuleBrokenBy(const Shortcut& shortcut);
// Why such a shortcut does not work, for the user.
std::string ruleBreakReason(ShortcutRuleBreak ruleBreak);
// The recorder's input for a press of the shortcut's combination, as the keyboard would give it.
RecorderEvent keyPressOf(const Shortcut& shortcut);

// The conflict alerts' texts.
std::string menuConflictMessage(const std::string& menuItemTitle);
std::string systemConflictMessage();
// Where this desktop (XDG_CURRENT_DESKTOP, e.g. "GNOME", "KDE", "XFCE") keeps its keyboard
// shortcuts, for the system conflict alert's informative text.
std::string systemConflictInformativeText(const std::string& currentDesktop);

} // namespace KeyboardShortcuts
