#pragma once

#include "platform/desktop/ShortcutsFolder.h"

#include <optional>
#include <string>
#include <string_view>

namespace zk {

// The shortcut a name stands for in the scripts folder: the first script (by relative path) whose
// name, or relative path, is exactly `name`. Names are taken as they are: blanks, "&" and other
// characters match themselves.
std::optional<platform::ShortcutsFolder::Entry> shortcutNamed(
    std::string_view name, const platform::ShortcutsFolder& folder);

// Opens the named shortcut's script in the user's editor. An unknown name opens nothing, is
// logged, and answers false.
bool openShortcut(
    std::string_view name, const platform::ShortcutsFolder& folder = platform::ShortcutsFolder::standard());

} // namespace zk
