#include "platform/linux/MachineZoneFile.h"

#include "platform/RegularFile.h"
#include "platform/time/TimeZone.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <vector>

namespace platform {

namespace {

namespace fs = std::filesystem;

// A zone file holds a few kilobytes; anything far larger is no zone.
constexpr std::size_t largestZoneFile = 1024 * 1024;

std::optional<std::string> contentsOf(const fs::path& path)
{
    return RegularFile::read(path, largestZoneFile).contents;
}

// A name to look up in the database: a relative path that stays inside it.
bool isZonePath(const std::string& name)
{
    if (name.empty() || name.front() == '/') {
        return false;
    }
    const fs::path path(name);
    return std::none_of(
        path.begin(), path.end(), [](const fs::path& part) { return part == ".." || part == "."; });
}

bool isKnownZone(const std::string& name)
{
    return isZonePath(name) && TimeZone::withIdentifier(name).has_value();
}

// The same zones again, with the rules of the POSIX TZ variable or with leap seconds.
std::string withoutVariantFolder(std::string name)
{
    for (const std::string_view folder : { "posix/", "right/" }) {
        if (name.starts_with(folder)) {
            return name.substr(folder.size());
        }
    }
    return name;
}

// A path of the mount table, whose blanks and backslashes are written as octal escapes (\040).
std::string unescapedMountPath(const std::string& text)
{
    std::string path;
    const auto isOctal
        = [&text](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '7'; };
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\\' && isOctal(at + 1) && isOctal(at + 2) && isOctal(at + 3)) {
            path += static_cast<char>(
                (text[at + 1] - '0') * 64 + (text[at + 2] - '0') * 8 + (text[at + 3] - '0'));
            at += 3;
        } else {
            path += text[at];
        }
    }
    return path;
}

bool isMountPoint(const fs::path& path, const std::set<std::string>& mounted)
{
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return !error && mounted.contains(resolved.string());
}

std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && isBlank(line.back())) {
        line.pop_back();
    }
    line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), isBlank));
    return line;
}

} // namespace

MachineZoneFile::MachineZoneFile(Paths paths)
    : m_paths(std::move(paths))
{
}

MachineZoneFile::MachineZoneFile()
    : MachineZoneFile(Paths {})
{
}

std::string MachineZoneFile::nameFile() const
{
    return (fs::path(m_paths.zoneFile).parent_path() / "timezone").string();
}

std::optional<std::string> MachineZoneFile::zoneName(const std::string& preferred) const
{
    const std::set<std::string> mounted = mountPoints();
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(m_paths.zoneFile, error))) {
        if (auto name = nameOfLinkTarget(mounted)) {
            return name;
        }
    }
    const auto contents = contentsOf(m_paths.zoneFile);
    if (!contents) {
        return std::nullopt;
    }
    return nameByContents(*contents, preferred, mounted);
}

std::set<std::string> MachineZoneFile::mountPoints() const
{
    // A few hundred lines, even with many containers.
    constexpr std::size_t largestMountTable = 16 * 1024 * 1024;
    std::set<std::string> points;
    const auto table = RegularFile::read(m_paths.mountTable, largestMountTable).contents;
    if (!table) {
        return points;
    }
    std::size_t lineStart = 0;
    while (lineStart < table->size()) {
        const std::size_t lineEnd = std::min(table->find('\n', lineStart), table->size());
        // "id parent major:minor root mount-point options ...": the fifth field.
        std::size_t fieldStart = lineStart;
        for (int field = 0; field < 4 && fieldStart < lineEnd; ++field) {
            fieldStart = std::min(table->find(' ', fieldStart), lineEnd) + 1;
        }
        if (fieldStart < lineEnd) {
            const std::size_t fieldEnd = std::min(table->find(' ', fieldStart), lineEnd);
            points.insert(unescapedMountPath(table->substr(fieldStart, fieldEnd - fieldStart)));
        }
        lineStart = lineEnd + 1;
    }
    return points;
}

std::optional<std::string> MachineZoneFile::nameOfLinkTarget(const std::set<std::string>& mounted) const
{
    std::error_code error;
    const fs::path target = fs::canonical(m_paths.zoneFile, error);
    if (error || mounted.contains(target.string())) {
        return std::nullopt;
    }
    std::string name;
    const fs::path database = fs::weakly_canonical(m_paths.zoneDatabase, error);
    const fs::path inDatabase = error ? fs::path() : target.lexically_relative(database);
    if (!inDatabase.empty() && *inDatabase.begin() != "..") {
        name = inDatabase.string();
    } else {
        // Another system's database (NixOS keeps its own): the path names the zone after it.
        const std::string text = target.string();
        constexpr std::string_view marker = "/zoneinfo/";
        const auto at = text.rfind(marker);
        if (at == std::string::npos) {
            return std::nullopt;
        }
        name = text.substr(at + marker.size());
    }
    name = withoutVariantFolder(std::move(name));
    return isKnownZone(name) ? std::optional(name) : std::nullopt;
}

std::optional<std::string> MachineZoneFile::nameByContents(
    const std::string& contents, const std::string& preferred, const std::set<std::string>& mounted) const
{
    const fs::path database(m_paths.zoneDatabase);
    const auto hasTheContents = [&](const std::string& name) {
        return isKnownZone(name) && contentsOf(database / name) == contents
            && !isMountPoint(database / name, mounted);
    };
    if (hasTheContents(preferred)) {
        return preferred;
    }
    if (const auto named = contentsOf(nameFile())) {
        if (const std::string hint = firstLine(*named); hasTheContents(hint)) {
            return hint;
        }
    }

    // Each zone once: the variant folders hold the same zones, and links only other names.
    std::vector<std::string> matches;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(database, error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        const fs::path relative = entry->path().lexically_relative(database);
        std::error_code unreadable;
        if (entry.depth() == 0 && (relative == "posix" || relative == "right")) {
            entry.disable_recursion_pending();
            continue;
        }
        if (entry->is_symlink(unreadable) || !entry->is_regular_file(unreadable)
            || entry->file_size(unreadable) != contents.size()) {
            continue;
        }
        if (contentsOf(entry->path()) == contents && !isMountPoint(entry->path(), mounted)) {
            matches.push_back(relative.string());
        }
    }
    std::sort(matches.begin(), matches.end());
    for (const auto& name : matches) {
        if (isKnownZone(name)) {
            return name;
        }
    }
    return std::nullopt;
}

} // namespace platform
