// The scripts folder listing over a folder that the input builds: one item per line, "<relative
// path>\t<content>" for a file, "@<relative path>\t<target>" for a symbolic link (which may lead out
// of the folder or nowhere). Every listed shortcut is a file inside the folder, listed once, in
// order, and found again by its identifier.
#include "FuzzFolder.h"
#include "FuzzTarget.h"

#include "platform/desktop/ShortcutsFolder.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool staysInside(const fs::path& relative)
{
    if (relative.empty() || relative.is_absolute()) {
        return false;
    }
    for (const auto& part : relative) {
        if (part == ".." || part == "." || part.empty()) {
            return false;
        }
    }
    return true;
}

void build(const fs::path& root, const std::string& description)
{
    std::istringstream lines(description);
    std::error_code error;
    int count = 0;
    for (std::string line; std::getline(lines, line) && count < 64; ++count) {
        const bool link = !line.empty() && line.front() == '@';
        const auto tab = line.find('\t');
        const std::string name
            = line.substr(link ? 1 : 0, tab == std::string::npos ? std::string::npos : tab - (link ? 1 : 0));
        const std::string rest = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        const fs::path relative(name);
        if (!staysInside(relative) || name.find('\0') != std::string::npos) {
            continue;
        }
        const fs::path target = root / relative;
        fs::create_directories(target.parent_path(), error);
        if (link) {
            if (rest.find('\0') == std::string::npos) {
                fs::create_symlink(rest, target, error);
            }
            continue;
        }
        std::ofstream(target, std::ios::binary) << rest;
        fs::permissions(target, fs::perms::owner_all, error);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Folder::clear();
    const fs::path root = fuzz::Folder::work() / "shortcuts";
    fs::create_directories(root);
    build(root, fuzz::text(data, size));

    const platform::ShortcutsFolder folder(root);
    const auto listing = folder.list();
    fuzz::require(
        listing.status != platform::ShortcutsFolder::Listing::Status::absent, "the folder is there");
    const std::string* previous = nullptr;
    for (const auto& entry : listing.entries) {
        fuzz::require(!previous || *previous < entry.relativePath, "shortcuts are listed once, in order");
        previous = &entry.relativePath;
        const fs::path relative(entry.relativePath);
        fuzz::require(staysInside(relative), "a shortcut's path stays inside the folder");
        for (const auto& part : relative) {
            fuzz::require(part.string().front() != '.', "hidden items are left out");
        }
        fuzz::require(fs::exists(root / relative), "a listed shortcut exists");
        const auto found = folder.entry(platform::ShortcutsFolder::identifier(entry.relativePath));
        fuzz::require(
            found && found->relativePath == entry.relativePath, "a shortcut is found by its identifier");
    }
    return 0;
}
