#pragma once

#include "kit/foundation/core/URLQueryItem.h"

#include <QStandardPaths>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// A URL from text plus query values (names and values percent-encoded, in the pairs' order);
// nothing when the text is not a valid URL.
std::optional<QUrl> urlWithQueryItems(std::string_view text, const std::vector<URLQueryItem>& items);
template <class Pairs> std::optional<QUrl> urlWithQueryValues(std::string_view text, const Pairs& values)
{
    return urlWithQueryItems(text, toURLQueryItems(values));
}
// The URL with `items` after the query items it has; nothing when it cannot be taken apart.
std::optional<QUrl> appendingQueryItems(const QUrl& url, const std::vector<URLQueryItem>& items);
// A URL written in the source; a text that is no valid URL is reported as std::invalid_argument.
QUrl urlLiteral(std::string_view text);

// What can be asked about a file without opening it.
enum class ResourceKey {
    name,
    path,
    localizedTypeDescription,
    contentType,
    isDirectory,
    isRegularFile,
    isHidden,
    isReadable,
    isWritable,
    isExecutable,
    isSymbolicLink
};
// The value as text, or nothing when the file cannot be read or the value is no text.
std::optional<std::string> stringResourceValue(const QString& path, ResourceKey key);
// The value as a Boolean, or nothing when the file cannot be read or the value is no Boolean.
std::optional<bool> boolResourceValue(const QString& path, ResourceKey key);

// Character sets for percent-encoding: lower- and upper-case letters of every script, the ASCII
// digits, both together, and those with "-._~" (what a URL component may hold unencoded).
bool caseLetters(char32_t character);
bool asciiDigits(char32_t character);
bool caseLettersAndDigits(char32_t character);
bool urlUnreserved(char32_t character);

// The root folder, "/".
QString rootDirectory();
// The home folder of the account running the process, from the user database (not $HOME).
QString realHomeDirectory();
// The application's own folder (created with what is missing; a failure is reported and the path
// still returned).
QString makeAppDirectory(const std::filesystem::path& folder);
// The data and cache folders of platform::AppFolders, made once per process.
const QString& appSupportDirectory();
const QString& appCachesDirectory();

// Where this user's temporary folders go: "kiruvo" in $XDG_RUNTIME_DIR (made 0700 when missing)
// when that is a folder of this user's that no one else may enter, else the temporary folder.
// Nothing made there may be entered by another user, whichever it is.
QString privateTemporaryBase();
// A new folder, named by a fresh UUID, that only this user may enter (0700), in
// privateTemporaryBase(). It is removed with all it holds when the process ends normally (or
// earlier by its owner). Throws the file error.
QString createUniqueTemporaryDirectory();
// The text written as UTF-8 to a new file with that name (and `extension` when the name has none)
// that only this user may read (0600), in a fresh folder of createUniqueTemporaryDirectory();
// throws, removing the folder.
QString writeToTemporaryFile(const std::string& text, const QString& fileName, const QString& extension);
// The same in a folder of the caller's, which goes (with what it holds) when writing fails.
QString writeToNewPrivateFile(
    const std::string& text, const QString& folder, const QString& fileName, const QString& extension);
// Removes now every folder createUniqueTemporaryDirectory() made that is still there (what the
// end of the process does).
void removeTemporaryDirectories();

// Owns a folder: removes it with all it holds when destroyed, quietly.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(QString path)
        : m_path(std::move(path))
    {
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    ~TemporaryDirectory();
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// The collection's start moved on by `offset` positions with its own stepping.
template <class Collection> auto indexAtOffset(const Collection& collection, std::ptrdiff_t offset)
{
    return std::next(std::begin(collection), offset);
}

// The bytes without a last byte of 0 (strings from firmware tables end in one).
std::vector<std::uint8_t> removingTrailingNull(std::vector<std::uint8_t> bytes);

} // namespace zk
