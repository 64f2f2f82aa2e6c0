#include "app/ShortcutsApp.h"

#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "platform/Logger.h"
#include "platform/ShortcutsFolder.h"

#include <functional>

namespace kiruvo::ShortcutsApp {

namespace {

constexpr const char* logCategory = "Shortcuts";

QColor colorFor(const platform::Uuid& id)
{
    const auto& bytes = id.bytes();
    const int hue = ((bytes[0] << 8) | bytes[1]) % 360;
    return QColor::fromHsv(hue, 150, 225, 255);
}

// One icon for every script, made once, so that equal records stay equal.
const QIcon& scriptIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    return icon;
}

Shortcut makeShortcut(const platform::ShortcutsFolder::Entry& entry)
{
    Shortcut shortcut;
    shortcut.id = platform::ShortcutsFolder::identifier(entry.relativePath);
    shortcut.name = entry.name;
    shortcut.subtitle = entry.relativePath;
    shortcut.color = colorFor(shortcut.id);
    shortcut.actionCount = static_cast<std::int64_t>(entry.actionCount);
    shortcut.icon = scriptIcon();
    if (entry.folderRelativePath) {
        shortcut.folder
            = Folder { platform::ShortcutsFolder::identifier(*entry.folderRelativePath), entry.folderName };
    }
    shortcut.isInputAccepted = true;
    return shortcut;
}

template <class T> void combine(std::size_t& seed, const T& value)
{
    seed ^= std::hash<T> {}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

bool Shortcut::operator==(const Shortcut& other) const
{
    return id == other.id && name == other.name && subtitle == other.subtitle && color == other.color
        && actionCount == other.actionCount && icon.cacheKey() == other.icon.cacheKey()
        && folder == other.folder && isInputAccepted == other.isInputAccepted;
}

bool isAvailable()
{
    return platform::ShortcutsFolder::standard().exists();
}

QCoro::Task<std::vector<Shortcut>> shortcuts()
{
    std::vector<Shortcut> result;
    for (const auto& entry : platform::ShortcutsFolder::standard().entries()) {
        result.push_back(makeShortcut(entry));
    }
    co_return result;
}

QCoro::Task<std::vector<Shortcut>> fetchShortcuts()
{
    co_return co_await shortcuts();
}

std::optional<Shortcut> shortcut(const platform::Uuid& id)
{
    if (auto entry = platform::ShortcutsFolder::standard().entry(id)) {
        return makeShortcut(*entry);
    }
    return std::nullopt;
}

QCoro::Task<std::vector<std::string>> runShortcut(platform::Uuid id, std::optional<std::string> input)
{
    const auto folder = platform::ShortcutsFolder::standard();
    const auto entry = folder.entry(id);
    if (!entry) {
        platform::log(platform::LogLevel::Info, logCategory,
            "No shortcut " + id.uuidString() + " in " + folder.root().string() + "; nothing ran");
        co_return std::vector<std::string> {};
    }
    auto result = co_await folder.run(entry->relativePath, std::move(input));
    if (!result.succeeded) {
        platform::log(platform::LogLevel::Warning, logCategory, "Shortcut run failed: " + result.failure);
        co_return std::vector<std::string> {};
    }
    co_return std::move(result.outputLines);
}

void openShortcut(const platform::Uuid& id)
{
    const auto folder = platform::ShortcutsFolder::standard();
    const auto entry = folder.entry(id);
    if (!entry) {
        zk::reportError(zk::GeneralError("Could not find shortcut"));
        return;
    }
    folder.open(entry->relativePath);
}

std::optional<Shortcut> createShortcut()
{
    const auto folder = platform::ShortcutsFolder::standard();
    const auto relativePath = folder.createTemplate("New Shortcut");
    if (!relativePath) {
        return std::nullopt;
    }
    folder.open(*relativePath);
    return shortcut(platform::ShortcutsFolder::identifier(*relativePath));
}

} // namespace kiruvo::ShortcutsApp

std::size_t std::hash<kiruvo::ShortcutsApp::Folder>::operator()(
    const kiruvo::ShortcutsApp::Folder& folder) const noexcept
{
    std::size_t seed = 0;
    kiruvo::ShortcutsApp::combine(seed, folder.id);
    kiruvo::ShortcutsApp::combine(seed, folder.name);
    return seed;
}

std::size_t std::hash<kiruvo::ShortcutsApp::Shortcut>::operator()(
    const kiruvo::ShortcutsApp::Shortcut& shortcut) const noexcept
{
    using kiruvo::ShortcutsApp::combine;
    std::size_t seed = 0;
    combine(seed, shortcut.id);
    combine(seed, shortcut.name);
    combine(seed, shortcut.subtitle);
    combine(seed, static_cast<std::uint32_t>(shortcut.color.rgba()));
    combine(seed, shortcut.actionCount);
    combine(seed, static_cast<std::int64_t>(shortcut.icon.cacheKey()));
    if (shortcut.folder) {
        combine(seed, std::uint8_t { 1 });
        combine(seed, shortcut.folder->id);
        combine(seed, shortcut.folder->name);
    } else {
        combine(seed, std::uint8_t { 0 });
    }
    combine(seed, shortcut.isInputAccepted);
    return seed;
}
