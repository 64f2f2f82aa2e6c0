#pragma once

#include "platform/ErrorReporter.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzz {

// A private temporary folder for one fuzzing process, removed at its exit, with the error reports
// of the code under test kept inside it rather than in the user's state folder.
class Folder {
public:
    static const std::filesystem::path& path()
    {
        static Folder folder;
        return folder.m_path;
    }

    // Empties the folder for the next input.
    static void clear()
    {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(path() / "work", error)) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }
    static std::filesystem::path work() { return path() / "work"; }

private:
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "kiruvo-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::abort();
        }
        m_path = pattern;
        std::filesystem::create_directories(m_path / "work");
        m_reporter = new platform::ErrorReporter(m_path / "reports");
        platform::ErrorReporter::setShared(m_reporter);
    }
    ~Folder()
    {
        platform::ErrorReporter::setShared(nullptr);
        delete m_reporter;
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }

    std::filesystem::path m_path;
    platform::ErrorReporter* m_reporter = nullptr;
};

} // namespace fuzz
