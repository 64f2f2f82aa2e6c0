#pragma once

#include "kit/interface/UrlOpener.h"
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

// Opens the named shortcut's script in the user's editor, without waiting for it; the user is told
// when nothing opened it. `done`, when given, learns whether it opened, once the desktop has said.
// An unknown name opens nothing and is logged, and `done` answers false at once.
void openShortcut(std::string_view name,
    const platform::ShortcutsFolder& folder = platform::ShortcutsFolder::standard(),
    UrlOpener::Done done = {});

} // namespace zk
