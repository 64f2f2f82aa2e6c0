#include "kit/foundation/SandboxURLBookmark.h"

#include "libraries/defaults/Migration.h"

#include <QUrl>
#include <filesystem>

namespace zk {

namespace {

std::filesystem::path resolved(const std::string& path)
{
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    return error ? std::filesystem::absolute(path, error) : canonical;
}

} // namespace

std::optional<SandboxURLBookmark> SandboxURLBookmark::make(const std::string& path)
{
    std::error_code error;
    auto canonical = std::filesystem::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    const std::string text = canonical.string();
    return SandboxURLBookmark { platform::Bytes(text.begin(), text.end()) };
}

std::optional<std::string> SandboxURLBookmark::resolve() const
{
    std::string path(bookmarkData.begin(), bookmarkData.end());
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error)) {
        return std::nullopt;
    }
    return path;
}

std::map<std::string, platform::Bytes> SecurityScopedBookmarks::all()
{
    using Bookmarks = std::map<std::string, platform::Bytes>;
    auto suite = platform::UserDefaults::standard();
    // Earlier versions kept the dictionary as one JSON text: it is rewritten in its current form
    // before it is read. The key has no default, so that nothing is registered for it.
    Defaults::migrate(Defaults::Key<std::optional<Bookmarks>>(key, suite), Defaults::Version::v5);
    return Defaults::read<Bookmarks>(*suite, key).value_or(Bookmarks {});
}

std::string SecurityScopedBookmarks::keyFor(const std::string& path)
{
    const std::filesystem::path target = resolved(path);
    std::string key = QUrl::fromLocalFile(QString::fromStdString(target.string())).toString().toStdString();
    // A folder's URL ends in a slash, whether or not the caller wrote one.
    std::error_code error;
    if (!key.ends_with('/') && (path.ends_with('/') || std::filesystem::is_directory(target, error))) {
        key += '/';
    }
    return key;
}

void SecurityScopedBookmarks::setBookmarkData(
    const std::string& path, const std::optional<platform::Bytes>& data)
{
    auto bookmarks = all();
    const std::string entry = keyFor(path);
    if (data) {
        bookmarks[entry] = *data;
    } else {
        bookmarks.erase(entry);
    }
    Defaults::write(*platform::UserDefaults::standard(), key, bookmarks);
}

std::optional<platform::Bytes> SecurityScopedBookmarks::bookmarkData(const std::string& path)
{
    auto bookmarks = all();
    auto found = bookmarks.find(keyFor(path));
    if (found == bookmarks.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace zk
