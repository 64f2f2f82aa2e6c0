#pragma once

#include "libraries/keyboard-shortcuts/Name.h"

#include <optional>

class QAction;

namespace KeyboardShortcuts {

// Keeps the menu item's shortcut equal to the name's stored shortcut, now and after every change
// of it; no shortcut when the name has none. Without a name the item's shortcut is cleared and it
// follows nothing any more. Binding again replaces the earlier binding.
//
// Main-thread only.
void setMenuItemShortcut(QAction& item, const std::optional<Name>& name);

} // namespace KeyboardShortcuts
