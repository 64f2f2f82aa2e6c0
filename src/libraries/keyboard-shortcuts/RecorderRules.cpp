#include "libraries/keyboard-shortcuts/RecorderRules.h"

#include "kit/interface/KeyDescriptions.h"

#include <QString>
#include <QStringList>

#include <limits>

namespace KeyboardShortcuts {

namespace {

using Action = RecorderDecision::Action;

RecorderDecision decision(Action action)
{
    RecorderDecision result;
    result.action = action;
    return result;
}

} // namespace

RecorderDecision decideRecorderEvent(const RecorderEvent& event, const RecorderContext& context)
{
    using Type = RecorderEvent::Type;
    if (event.type == Type::mouseRelease && !event.isNearRecorder) {
        return decision(Action::endRecordingAndPass);
    }
    if (event.type != Type::keyPress && event.type != Type::keyRelease) {
        return decision(Action::discard);
    }
    const Qt::KeyboardModifiers modifiers
        = event.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // Shift+Tab goes back as Tab goes on: with Shift alone it could never be recorded anyway.
    if ((modifiers == Qt::NoModifier && event.qtKey == Qt::Key_Tab)
        || (modifiers == Qt::ShiftModifier
            && (event.qtKey == Qt::Key_Backtab || event.qtKey == Qt::Key_Tab))) {
        return decision(Action::endRecordingAndPass);
    }
    if (modifiers == Qt::NoModifier) {
        if (event.qtKey == Qt::Key_Escape) {
            return decision(Action::endRecordingAndDiscard);
        }
        if (event.qtKey == Qt::Key_Backspace || event.qtKey == Qt::Key_Delete) {
            return decision(Action::clear);
        }
    }
    // A bare key, or one with Shift alone, would get in the way of typing; only the function keys
    // may go without a modifier.
    if ((modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)
        && !zk::functionKeys().contains(static_cast<Qt::Key>(event.qtKey))) {
        return decision(Action::beep);
    }
    if (!event.shortcut) {
        return decision(Action::beep);
    }
    const Shortcut& shortcut = *event.shortcut;
    if (context.menuItemTitleUsing) {
        if (const std::optional<std::string> title = context.menuItemTitleUsing(shortcut)) {
            RecorderDecision result = decision(Action::menuConflict);
            result.menuItemTitle = *title;
            result.shortcut = shortcut;
            return result;
        }
    }
    // F12 alone stays available whatever the desktop claims.
    const bool isBareF12 = shortcut == Shortcut(Key::f12);
    if (!isBareF12 && context.isSystemReserved && context.isSystemReserved(shortcut)) {
        RecorderDecision result = decision(Action::systemConflict);
        result.shortcut = shortcut;
        return result;
    }
    RecorderDecision result = decision(Action::record);
    result.shortcut = shortcut;
    return result;
}

std::optional<ShortcutRuleBreak> recorderRuleBrokenBy(const Shortcut& shortcut)
{
    constexpr std::int64_t knownModifiers = CarbonModifiers::control | CarbonModifiers::option
        | CarbonModifiers::shift | CarbonModifiers::command;
    if ((shortcut.carbonModifiers() & ~knownModifiers) != 0) {
        return ShortcutRuleBreak::unknownModifiers;
    }
    if (shortcut.carbonKeyCode() < 0 || shortcut.carbonKeyCode() > std::numeric_limits<int>::max()) {
        return ShortcutRuleBreak::unknownKey;
    }
    const Key key = shortcut.key();
    for (const Key& modifier : { Key::capsLock, Key::shift, Key::function, Key::control, Key::option,
             Key::command, Key::rightCommand, Key::rightOption, Key::rightControl, Key::rightShift }) {
        if (key == modifier) {
            return ShortcutRuleBreak::modifierKey;
        }
    }
    if (!key.x11KeyCode() || !key.qtKey()) {
        return ShortcutRuleBreak::unknownKey;
    }
    // The same test the recorder makes of a key press: bare keys other than F1 to F20 (Tab and
    // Escape included, which end recording) are refused.
    if (decideRecorderEvent(keyPressOf(shortcut), {}).action != RecorderDecision::Action::record) {
        return ShortcutRuleBreak::needsModifier;
    }
    return std::nullopt;
}

std::string ruleBreakReason(ShortcutRuleBreak ruleBreak)
{
    switch (ruleBreak) {
    case ShortcutRuleBreak::needsModifier:
        return "It has no Ctrl, Alt or Super key, so it would take the key away from every application. "
               "Record it again with one.";
    case ShortcutRuleBreak::modifierKey:
        return "Its key is a modifier key, which cannot be a shortcut. Record it again.";
    case ShortcutRuleBreak::unknownModifiers:
    case ShortcutRuleBreak::unknownKey:
        return "It is not a combination this keyboard can press. Record it again.";
    }
    return {};
}

RecorderEvent keyPressOf(const Shortcut& shortcut)
{
    RecorderEvent event;
    event.type = RecorderEvent::Type::keyPress;
    if (shortcut.carbonKeyCode() >= 0 && shortcut.carbonKeyCode() <= std::numeric_limits<int>::max()) {
        event.qtKey = shortcut.key().qtKey().value_or(Qt::Key_unknown);
    }
    event.modifiers = shortcut.modifiers();
    event.shortcut = shortcut;
    return event;
}

std::string menuConflictMessage(const std::string& menuItemTitle)
{
    return "This keyboard shortcut cannot be used as it's already used by the “" + menuItemTitle
        + "” menu item.";
}

std::string systemConflictMessage()
{
    return "This keyboard shortcut cannot be used as it's already a system-wide keyboard shortcut.";
}

std::string systemConflictInformativeText(const std::string& currentDesktop)
{
    const QStringList desktops = QString::fromStdString(currentDesktop).toUpper().split(u':');
    std::string place;
    if (desktops.contains(QStringLiteral("KDE"))) {
        place = "\u201CSystem Settings \u203A Keyboard \u203A Shortcuts\u201D";
    } else if (desktops.contains(QStringLiteral("GNOME")) || desktops.contains(QStringLiteral("UNITY"))) {
        place = "\u201CSettings \u203A Keyboard \u203A Keyboard Shortcuts\u201D";
    } else if (desktops.contains(QStringLiteral("XFCE"))) {
        place = "\u201CSettings \u203A Keyboard \u203A Application Shortcuts\u201D";
    } else if (desktops.contains(QStringLiteral("X-CINNAMON"))
        || desktops.contains(QStringLiteral("CINNAMON"))) {
        place = "\u201CSystem Settings \u203A Keyboard \u203A Shortcuts\u201D";
    } else if (desktops.contains(QStringLiteral("MATE"))) {
        place = "\u201CControl Center \u203A Keyboard Shortcuts\u201D";
    } else {
        return "Most system-wide keyboard shortcuts can be changed in your desktop's keyboard settings, or "
               "by closing the application that uses this one.";
    }
    return "Most system-wide keyboard shortcuts can be changed in " + place + ".";
}

} // namespace KeyboardShortcuts
