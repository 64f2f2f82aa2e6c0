#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QStandardPaths>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zk {

// Moves one item to the user's Trash (the freedesktop Trash); the error's text on failure.
using MoveToTrash = std::function<std::optional<std::string>(const std::filesystem::path& path)>;
// QFile::moveToTrash.
std::optional<std::string> moveItemToTrash(const std::filesystem::path& path);

// Moves each item to the Trash in order; the first failure ends the list (the items before it stay
// in the Trash, those after it are not touched) and is returned with the item it concerns.
struct TrashFailure {
    std::filesystem::path path;
    std::string reason;
};
std::optional<TrashFailure> trashItems(
    const std::vector<std::filesystem::path>& paths, const MoveToTrash& moveToTrash = moveItemToTrash);

// The user's folder of the kind, with symbolic links resolved. When the desktop has none, the
// failure is reported and the temporary folder is used instead.
std::filesystem::path systemDirectory(QStandardPaths::StandardLocation location);

// A new, empty folder that only this user may enter (0700), on the same file system as
// `reference` (the running executable when none is given), so that a file made in it can replace
// one there by a rename: the private temporary folder when it is on that file system, else a
// hidden folder beside the reference. When that cannot be made, the failure is reported (with the
// executable's path under "url()") and a folder of createUniqueTemporaryDirectory() is made
// instead; only that one's failure is thrown (as the kit's file error).
std::filesystem::path uniqueTemporaryDirectory(
    const std::optional<std::filesystem::path>& reference = std::nullopt);

// Writes `text` as UTF-8 into a file named `fileName` in a new unique temporary folder, adding
// `extension` (without the dot) when the name does not already end with it. The file's path, or
// nothing (the failure is logged).
std::optional<std::filesystem::path> writeToTemporaryFile(
    const std::string& text, const std::string& fileName, const std::string& extension = "txt");

// The first element for which `transform` gives something, or nothing.
template <class Sequence, class Transform>
auto firstNonNil(const Sequence& sequence, Transform transform) -> decltype(transform(*std::begin(sequence)))
{
    for (const auto& element : sequence) {
        if (auto result = transform(element)) {
            return result;
        }
    }
    return {};
}

} // namespace zk
