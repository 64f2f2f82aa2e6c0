#pragma once

#include "libraries/keyboard-shortcuts/Shortcut.h"

#include <cstdint>

class QAction;
class QMenu;

// Whether a shortcut is taken already: by the desktop or another application (a combination
// another client has grabbed, such as the one for screenshots), or by an item of the application's
// own menu, which on a tray application is the status menu.
//
// Main-thread only.
namespace KeyboardShortcuts {

// Keeps only the four modifier bits a shortcut carries.
std::int64_t normalizedCarbonModifiers(std::int64_t modifiers);

// Whether another client holds the shortcut's combination now, found by trying to take it.
// False where global shortcuts are not available.
bool isSystemReservedShortcut(const Shortcut& shortcut);

// The first item of the menu or its submenus (depth first, an item before its submenu) whose
// shortcut is the shortcut's combination as the keyboard layout writes it; nullptr for none.
QAction* menuItemUsingShortcut(const QMenu& menu, const Shortcut& shortcut);

// The menu the recorder checks for conflicts; the application sets its status menu. Not owned;
// cleared when the menu is destroyed.
void setApplicationMenu(QMenu* menu);
QMenu* applicationMenu();

} // namespace KeyboardShortcuts
