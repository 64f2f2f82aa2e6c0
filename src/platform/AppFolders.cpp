#include "platform/AppFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform::AppFolders {

namespace {

const char* const appFolderName = "kiruvo";

// An environment variable that names an absolute path; a relative one would depend on the folder
// the application happens to be started from.
const char* absoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value == '/' ? value : nullptr;
}

std::filesystem::path xdgFolder(const char* variable, const char* fallbackUnderHome)
{
    if (const char* base = absoluteVariable(variable)) {
        return std::filesystem::path(base) / appFolderName;
    }
    return homeFolder() / fallbackUnderHome / appFolderName;
}

} // namespace

std::filesystem::path homeFolder()
{
    if (const char* home = absoluteVariable("HOME")) {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir == '/') {
        return entry->pw_dir;
    }
    return "/";
}

std::filesystem::path dataFolder()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path cacheFolder()
{
    return xdgFolder("XDG_CACHE_HOME", ".cache");
}

} // namespace platform::AppFolders
