#include "kit/interface/ShortcutOpener.h"

#include "platform/Logger.h"

namespace zk {

std::optional<platform::ShortcutsFolder::Entry> shortcutNamed(
    std::string_view name, const platform::ShortcutsFolder& folder)
{
    const auto entries = folder.entries();
    for (const auto& entry : entries) {
        if (entry.name == name) {
            return entry;
        }
    }
    for (const auto& entry : entries) {
        if (entry.relativePath == name) {
            return entry;
        }
    }
    return std::nullopt;
}

bool openShortcut(std::string_view name, const platform::ShortcutsFolder& folder)
{
    const auto entry = shortcutNamed(name, folder);
    if (!entry) {
        platform::log(platform::LogLevel::Warning, platform::lcScripts(),
            "No shortcut named \"" + std::string(name) + "\" in " + folder.root().string()
                + "; nothing opened");
        return false;
    }
    return folder.open(entry->relativePath);
}

} // namespace zk
