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

void openShortcut(std::string_view name, const platform::ShortcutsFolder& folder, UrlOpener::Done done)
{
    const auto entry = shortcutNamed(name, folder);
    const auto path = entry ? folder.resolved(entry->relativePath) : std::nullopt;
    if (!path) {
        platform::log(platform::LogLevel::Warning, platform::lcScripts(),
            "No shortcut named \"" + std::string(name) + "\" in " + folder.root().string()
                + "; nothing opened");
        if (done) {
            done(false);
        }
        return;
    }
    UrlOpener::openOrTell(
        QUrl::fromLocalFile(QString::fromStdString(path->string())), "the script", std::move(done));
}

} // namespace zk
