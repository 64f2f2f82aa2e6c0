#include "app/reminders/ShortcutsApp.h"

#include "app/engine/SettingsKeys.h"
#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"
#include "kit/interface/UrlOpener.h"
#include "platform/Logger.h"
#include "platform/desktop/ShortcutsFolder.h"

#include <functional>

namespace kiruvo::ShortcutsApp {

namespace {

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

struct FoundEntry {
    LookupOutcome outcome = LookupOutcome::unavailable;
    std::optional<platform::ShortcutsFolder::Entry> entry;
};

// Awaited at once by its callers, so the folder outlives it.
QCoro::Task<FoundEntry> findEntry(const platform::ShortcutsFolder& folder, platform::Uuid id)
{
    auto listing = co_await folder.listInBackground();
    for (auto& entry : listing.entries) {
        if (platform::ShortcutsFolder::identifier(entry.relativePath) == id) {
            co_return FoundEntry { LookupOutcome::found, std::move(entry) };
        }
    }
    co_return FoundEntry { listing.isComplete() ? LookupOutcome::missing : LookupOutcome::unavailable, {} };
}

template <class T> void combine(std::size_t& seed, const T& value)
{
    seed ^= std::hash<T> {}(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// In the user's editor; the user is told when nothing could open it.
void openScript(const platform::ShortcutsFolder& folder, const std::string& relativePath)
{
    if (const auto path = folder.resolved(relativePath)) {
        zk::UrlOpener::openOrTell(QUrl::fromLocalFile(QString::fromStdString(path->string())), "the script");
    }
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
    const auto listing = co_await platform::ShortcutsFolder::standard().listInBackground(true);
    std::vector<Shortcut> result;
    for (const auto& entry : listing.entries) {
        result.push_back(makeShortcut(entry));
    }
    co_return result;
}

std::optional<Shortcut> shortcut(const platform::Uuid& id)
{
    if (auto entry = platform::ShortcutsFolder::standard().entry(id)) {
        return makeShortcut(*entry);
    }
    return std::nullopt;
}

QCoro::Task<Lookup> lookUp(platform::Uuid id)
{
    const auto folder = platform::ShortcutsFolder::standard();
    auto found = co_await findEntry(folder, id);
    if (found.entry) {
        found.entry->actionCount = folder.actionCount(found.entry->relativePath);
    }
    co_return Lookup { found.outcome,
        found.entry ? std::optional<Shortcut>(makeShortcut(*found.entry)) : std::nullopt };
}

QCoro::Task<std::optional<LookupOutcome>> validateChosenShortcut()
{
    const auto chosen = Defaults::get(Keys::notificationRunShortcut());
    if (!chosen) {
        co_return std::nullopt;
    }
    const auto lookup = co_await lookUp(*chosen);
    switch (lookup.outcome) {
    case LookupOutcome::found:
        break;
    case LookupOutcome::missing:
        // The user may have chosen another script while the folder was being read.
        if (Defaults::get(Keys::notificationRunShortcut()) == chosen) {
            platform::log(platform::LogLevel::Info, platform::lcScripts(),
                "The chosen shortcut " + chosen->uuidString()
                    + " is gone; no shortcut runs at reminders now");
            Defaults::set(Keys::notificationRunShortcut(), std::optional<platform::Uuid>());
        }
        break;
    case LookupOutcome::unavailable:
        platform::log(platform::LogLevel::Warning, platform::lcScripts(),
            "Cannot check the chosen shortcut " + chosen->uuidString() + " in "
                + platform::ShortcutsFolder::standardLocation().string() + "; the choice is kept");
        break;
    }
    co_return lookup.outcome;
}

QCoro::Task<std::vector<std::string>> runShortcut(platform::Uuid id, std::optional<std::string> input)
{
    const auto folder = platform::ShortcutsFolder::standard();
    const auto found = co_await findEntry(folder, id);
    if (!found.entry) {
        platform::log(platform::LogLevel::Info, platform::lcScripts(),
            "No shortcut " + id.uuidString() + " in " + folder.root().string()
                + (found.outcome == LookupOutcome::unavailable ? " (the folder could not be read)" : "")
                + "; nothing ran");
        co_return std::vector<std::string> {};
    }
    auto result = co_await folder.run(found.entry->relativePath, std::move(input));
    if (!result.succeeded) {
        platform::log(
            platform::LogLevel::Warning, platform::lcScripts(), "Shortcut run failed: " + result.failure);
        co_return std::vector<std::string> {};
    }
    co_return std::move(result.outputLines);
}

QCoro::Task<void> openShortcut(platform::Uuid id)
{
    // Listed off the main thread: a large or slow folder must not freeze the Settings window.
    const auto folder = platform::ShortcutsFolder::standard();
    const auto found = co_await findEntry(folder, id);
    if (!found.entry) {
        zk::reportError(zk::GeneralError("Could not find shortcut"));
        co_return;
    }
    openScript(folder, found.entry->relativePath);
}

std::optional<Shortcut> createShortcut(std::string* problem)
{
    const auto folder = platform::ShortcutsFolder::standard();
    const auto relativePath = folder.createTemplate("New Script", problem);
    if (!relativePath) {
        return std::nullopt;
    }
    openScript(folder, *relativePath);
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
