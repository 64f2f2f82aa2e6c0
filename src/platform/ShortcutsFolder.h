#pragma once

#include "platform/Uuid.h"

#include <QCoro/QCoroTask>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The user's own automation scripts: a folder of executable files, by default
// $XDG_DATA_HOME/kiruvo/shortcuts/ (~/.local/share/kiruvo/shortcuts/ when unset). Every
// executable file in it is a shortcut; the sub-folders group them. A shortcut's and a folder's
// identifier is the name-based (version 5, URL namespace) UUID of its path relative to the
// folder, so it stays the same across runs and changes only when the file is moved or renamed.
// Hidden files and folders (a leading ".") are left out.
//
// Main-thread only (running a script is asynchronous and never blocks).
class ShortcutsFolder {
public:
    struct Entry {
        // Relative to the folder, "/"-separated, UTF-8: "Breaks/stretch.sh".
        std::string relativePath;
        // The file name without its extension: "stretch".
        std::string name;
        // The sub-folder holding it ("Breaks", "Breaks/Evening"), absent at the top.
        std::optional<std::string> folderRelativePath;
        // The last component of folderRelativePath.
        std::string folderName;
        // The script's non-blank lines that are not comments; 0 for a file that is not text.
        std::size_t actionCount = 0;
    };

    // The outcome of one run.
    struct RunResult {
        // False when the script could not be started or did not exit normally with status 0.
        bool succeeded = false;
        // Standard output, one entry per line, without line ends.
        std::vector<std::string> outputLines;
        // Why it failed, for the log.
        std::string failure;
    };

    explicit ShortcutsFolder(std::filesystem::path root);

    // The standard location, read from the environment at each call.
    static std::filesystem::path standardLocation();
    static ShortcutsFolder standard();

    const std::filesystem::path& root() const { return m_root; }
    // Whether the folder is there at all. Without it nothing can be listed, run or opened.
    bool exists() const;
    // Whether its contents can be listed.
    bool isReadable() const;

    static Uuid identifier(std::string_view relativePath);

    // Every shortcut, ordered by relative path; empty when the folder is absent or unreadable.
    std::vector<Entry> entries() const;
    std::optional<Entry> entry(const Uuid& identifier) const;

    // Runs the script with `input` on its standard input (an empty, closed input when absent) and
    // its own folder as working directory, and completes when it has exited. Paths that leave the
    // folder are refused.
    QCoro::Task<RunResult> run(std::string relativePath, std::optional<std::string> input) const;

    // Opens the script in the user's preferred application (xdg-open).
    bool open(std::string_view relativePath) const;

    // Writes a new executable shell script with a short template, named after `baseName`
    // (".sh" added, a number added when the name is taken), creating the folder when needed.
    // Answers its relative path, or nothing when it could not be written.
    std::optional<std::string> createTemplate(std::string_view baseName) const;

    // The script text that createTemplate() writes.
    static std::string templateText();

private:
    // The absolute path of a relative path that stays inside the folder; nothing otherwise.
    std::optional<std::filesystem::path> resolved(std::string_view relativePath) const;

    std::filesystem::path m_root;
};

} // namespace platform
