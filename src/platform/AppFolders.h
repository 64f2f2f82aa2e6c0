#pragma once

#include <filesystem>

// Where the application keeps its files, worked out by one rule for every part that needs it (the
// settings database, the scripts folder, the reset of all data):
// $XDG_DATA_HOME/kiruvo and $XDG_CACHE_HOME/kiruvo when those are absolute paths, else
// ~/.local/share/kiruvo and ~/.cache/kiruvo. The home folder is $HOME when it is an absolute path,
// else the account's home in the user database. Read from the environment on every call, so a
// test's temporary folders count; nothing is created.
namespace platform::AppFolders {

std::filesystem::path homeFolder();
std::filesystem::path dataFolder();
std::filesystem::path cacheFolder();

} // namespace platform::AppFolders
