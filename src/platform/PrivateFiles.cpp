#include "platform/PrivateFiles.h"

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform::PrivateFiles {

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

} // namespace

bool isPrivateFolder(const fs::path& path)
{
    struct stat status { };
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid()
        && (status.st_mode & 077) == 0;
}

bool isOwnFolder(const fs::path& path, std::string& problem)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        problem = "cannot read " + path.string() + ": "
            + std::error_code(errno, std::generic_category()).message();
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        problem = path.string() + " is not a folder";
        return false;
    }
    if (status.st_uid != ::geteuid()) {
        problem = path.string() + " belongs to another user";
        return false;
    }
    return true;
}

bool createFolders(const fs::path& path, std::error_code& error)
{
    error.clear();
    // The missing folders, innermost first; each is made with its final mode, so none is ever open
    // to others, not even for a moment.
    std::vector<fs::path> missing;
    for (fs::path folder = path; !folder.empty(); folder = folder.parent_path()) {
        struct stat status { };
        if (::stat(folder.c_str(), &status) == 0) {
            break;
        }
        missing.push_back(folder);
        if (folder == folder.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), folderMode) != 0 && errno != EEXIST) {
            error = std::error_code(errno, std::generic_category());
            return false;
        }
    }
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        error = std::make_error_code(std::errc::not_a_directory);
        return false;
    }
    return true;
}

bool ensurePrivateFolder(const fs::path& path, std::string& problem)
{
    std::error_code error;
    if (!createFolders(path.parent_path(), error)) {
        problem = "cannot create " + path.parent_path().string() + ": " + error.message();
        return false;
    }
    if (::mkdir(path.c_str(), folderMode) != 0 && errno != EEXIST) {
        problem = "cannot create " + path.string() + ": "
            + std::error_code(errno, std::generic_category()).message();
        return false;
    }
    // Opened without following a link, and checked and closed through that one descriptor, so that
    // nothing can be swapped in between.
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        problem = path.string() + " is not a folder of its own (a symbolic link?): "
            + std::error_code(errno, std::generic_category()).message();
        return false;
    }
    struct stat status { };
    bool usable = ::fstat(folder, &status) == 0;
    if (usable && status.st_uid != ::geteuid()) {
        problem = path.string() + " belongs to another user";
        usable = false;
    } else if (usable && (status.st_mode & 077) != 0 && ::fchmod(folder, folderMode) != 0) {
        problem = path.string() + " is open to other users and cannot be closed: "
            + std::error_code(errno, std::generic_category()).message();
        usable = false;
    }
    ::close(folder);
    return usable;
}

bool createFile(const fs::path& path, std::error_code& error)
{
    error.clear();
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, fileMode);
    if (file >= 0) {
        ::close(file);
        return true;
    }
    if (errno == EEXIST) {
        return true;
    }
    error = std::error_code(errno, std::generic_category());
    return false;
}

int openForWriting(const fs::path& path, int flags)
{
    // Non-blocking, so that a FIFO put in its place cannot hold the writer until a reader comes.
    const int file
        = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | flags, fileMode);
    if (file < 0) {
        return -1;
    }
    struct stat status { };
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(file);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(file, F_SETFL, ::fcntl(file, F_GETFL) & ~O_NONBLOCK);
    return file;
}

} // namespace platform::PrivateFiles
