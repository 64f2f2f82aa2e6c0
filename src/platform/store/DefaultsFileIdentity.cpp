#include "platform/store/DefaultsFileIdentity.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

namespace platform {

namespace {

bool statOf(const std::string& path, struct stat& status, bool& missing)
{
    if (::stat(path.c_str(), &status) != 0) {
        missing = errno == ENOENT || errno == ENOTDIR;
        return false;
    }
    missing = false;
    return true;
}

} // namespace

DefaultsFileIdentity::Node DefaultsFileIdentity::nodeOf(const std::string& path, bool& missing)
{
    struct stat status { };
    if (!statOf(path, status, missing)) {
        return {};
    }
    return { true, status.st_dev, status.st_ino };
}

DefaultsFileIdentity DefaultsFileIdentity::of(const std::string& path)
{
    DefaultsFileIdentity identity;
    bool missing = false;
    struct stat status { };
    if (!statOf(path, status, missing)) {
        return identity;
    }
    identity.m_file = { true, status.st_dev, status.st_ino };
    identity.m_size = status.st_size;
    identity.m_changed = status.st_ctim;
    std::error_code error;
    const auto real = std::filesystem::canonical(path, error);
    identity.m_realPath = error ? path : real.string();
    return identity;
}

DefaultsFileIdentity::AtPath DefaultsFileIdentity::atPath(const std::string& path) const
{
    bool missing = false;
    const Node now = nodeOf(path, missing);
    if (!now.known) {
        // A path that cannot be looked at for another reason (no permission for a moment) is not
        // taken for a replacement.
        return missing ? AtPath::Missing : AtPath::Same;
    }
    return now == m_file ? AtPath::Same : AtPath::Other;
}

bool DefaultsFileIdentity::unchangedSince(const DefaultsFileIdentity& earlier) const
{
    return m_file.known && m_file == earlier.m_file && m_size == earlier.m_size
        && m_changed.tv_sec == earlier.m_changed.tv_sec && m_changed.tv_nsec == earlier.m_changed.tv_nsec;
}

} // namespace platform
