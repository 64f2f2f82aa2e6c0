#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"

#include "libraries/keyboard-shortcuts/CarbonKeyboardShortcuts.h"
#include "platform/desktop/GlobalHotKeys.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace KeyboardShortcuts {

namespace {

QPointer<QMenu>& installedMenu()
{
    static QPointer<QMenu> menu;
    return menu;
}

} // namespace

std::int64_t normalizedCarbonModifiers(std::int64_t modifiers)
{
    return modifiers
        & (CarbonModifiers::control | CarbonModifiers::option | CarbonModifiers::shift
            | CarbonModifiers::command);
}

bool isSystemReservedShortcut(const Shortcut& shortcut)
{
    const std::optional<platform::HotKeyCombination> combination
        = CarbonKeyboardShortcuts::combinationFor(Shortcut::fromCarbon(
            shortcut.carbonKeyCode(), normalizedCarbonModifiers(shortcut.carbonModifiers())));
    return combination && platform::GlobalHotKeys::shared().isTakenElsewhere(*combination);
}

QAction* menuItemUsingShortcut(const QMenu& menu, const Shortcut& shortcut)
{
    const QKeySequence wanted = shortcut.keySequence();
    if (wanted.isEmpty()) {
        return nullptr;
    }
    for (QAction* item : menu.actions()) {
        // Qt keeps Shift as a modifier of its own, so "Ctrl+S" never matches Ctrl+Shift+S.
        const QKeySequence itemShortcut = item->shortcut();
        if (itemShortcut.count() == 1 && itemShortcut[0] == wanted[0]) {
            return item;
        }
        if (const QMenu* submenu = item->menu()) {
            if (QAction* found = menuItemUsingShortcut(*submenu, shortcut)) {
                return found;
            }
        }
    }
    return nullptr;
}

void setApplicationMenu(QMenu* menu)
{
    installedMenu() = menu;
}

QMenu* applicationMenu()
{
    return installedMenu().data();
}

} // namespace KeyboardShortcuts
