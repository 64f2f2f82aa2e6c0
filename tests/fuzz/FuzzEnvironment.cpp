// A libFuzzer program is run by hand, in the developer's own session, for minutes at a time: the
// readers it drives report errors and may reach for the data folders, which must never be the
// user's own. Before the first input, every folder the application would use points into a private
// temporary folder, removed when the run ends. (The corpus replays under ctest get theirs from the
// test's environment.)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

std::string& privateFolder()
{
    static std::string folder;
    return folder;
}

void removePrivateFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(privateFolder(), ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::error_code error;
    const auto temporary = std::filesystem::temp_directory_path(error);
    std::string pattern = (error ? std::filesystem::path("/tmp") : temporary) / "kiruvo-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("kiruvo fuzz: no private temporary folder");
        std::abort();
    }
    privateFolder() = pattern;
    std::atexit(removePrivateFolder);
    for (const char* name : { "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
             "XDG_RUNTIME_DIR", "HOME" }) {
        const std::string folder = pattern + "/" + name;
        std::filesystem::create_directory(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        ::setenv(name, folder.c_str(), 1);
    }
    ::setenv("KIRUVO_DEFAULTS_PATH", ":memory:", 0);
    return 0;
}
