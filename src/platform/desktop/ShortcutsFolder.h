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
// Main-thread only, except list(), which any thread may call. Listing in the background and
// running a script never take the main thread's time.
class ShortcutsFolder {
public:
    // How long a script may run before it is stopped: long enough for a script that fetches
    // something or waits for a dialog, short enough that a hung script cannot pile up behind the
    // next reminders.
    static constexpr double defaultRunTimeLimit = 60.0;
    // How long a stopped script has to end by itself before it is killed.
    static constexpr double defaultTerminationGrace = 2.0;
    // Output kept of one run (each of standard output and standard error); the rest is dropped.
    static constexpr std::size_t maximumOutputSize = 4 * 1024 * 1024;

    struct Entry {
        // Relative to the folder, "/"-separated, UTF-8: "Breaks/stretch.sh".
        std::string relativePath;
        // The file name without its extension: "stretch".
        std::string name;
        // The sub-folder holding it ("Breaks", "Breaks/Evening"), absent at the top.
        std::optional<std::string> folderRelativePath;
        // The last component of folderRelativePath.
        std::string folderName;
        // The script's non-blank lines that are not comments; 0 for a file that is not text, is
        // larger than a script is, or was not read (listings read names and types only).
        std::size_t actionCount = 0;
    };

    // What a listing of the folder could see.
    struct Listing {
        enum class Status {
            // Every item was read: a shortcut missing from the entries is really gone.
            complete,
            // There is no folder (or the path is not one); nothing was listed.
            absent,
            // The folder, a sub-folder or an item could not be read: the entries are those that
            // could, and a missing shortcut may only be hidden.
            incomplete,
        };
        Status status = Status::absent;
        std::vector<Entry> entries;
        // What could not be read, for the log; empty when complete.
        std::string problem;

        bool isComplete() const { return status == Status::complete; }
    };

    // The bounds of one run.
    struct RunLimits {
        // Seconds from the start until the script is stopped (terminated, then killed).
        double timeLimit = defaultRunTimeLimit;
        // Seconds between asking it to end and killing it.
        double terminationGrace = defaultTerminationGrace;
    };

    // The outcome of one run.
    struct RunResult {
        // False when the script could not be started, did not exit normally with status 0, or was
        // stopped at its time limit.
        bool succeeded = false;
        // True when it was stopped at its time limit.
        bool timedOut = false;
        // Standard output, one entry per line, without line ends; also what a stopped or failed
        // script wrote before it ended.
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

    // Every shortcut, ordered by relative path, and whether the listing saw everything. Reads the
    // folders' names and types only, so that it costs the same whatever the scripts hold, unless
    // asked to count each script's actions too. Any thread.
    Listing list(bool countingActions = false) const;
    // list() on a worker thread; completes on the calling (main) thread.
    QCoro::Task<Listing> listInBackground(bool countingActions = false) const;
    // The actions of one script: read only when it is a regular file of a script's size.
    std::size_t actionCount(std::string_view relativePath) const;

    // Every shortcut that could be read, with its actions counted, ordered by relative path; empty
    // when the folder is absent or unreadable.
    std::vector<Entry> entries() const;
    // The shortcut with that identifier, its actions counted.
    std::optional<Entry> entry(const Uuid& identifier) const;

    // Runs the script with `input` on its standard input (an empty, closed input when absent) and
    // its own folder as working directory, in a process group (and session) of its own, and completes when it
    // has exited. Should the application die while the script runs (killed, crashed), the group is
    // ended all the same, by its ProcessGroupWatchdog. A script still running at the time limit is asked to
    // end (SIGTERM to its whole group), killed after the grace period, and the run fails as timed out. Paths
    // that leave the folder are refused.
    QCoro::Task<RunResult> run(std::string relativePath, std::optional<std::string> input) const;
    QCoro::Task<RunResult> run(
        std::string relativePath, std::optional<std::string> input, RunLimits limits) const;

    // Ends every script still running, with all it started: SIGTERM to each script's process
    // group, then, after `grace` seconds, SIGKILL to every group that is not empty yet. Each ended
    // script is logged by name. Runs by itself when the application is about to quit, so that no
    // script outlives it. Main-thread only.
    static void stopAllRuns(double grace = defaultTerminationGrace);
    // How many scripts run now.
    static std::size_t runningCount();

    // Writes a new executable shell script with a short template, named after `baseName`
    // (".sh" added, a number added when the name is taken), creating the folder when needed. The
    // script appears whole or not at all. Answers its relative path, or nothing when it could not
    // be written, with why in `problem`.
    std::optional<std::string> createTemplate(
        std::string_view baseName, std::string* problem = nullptr) const;

    // The script text that createTemplate() writes.
    static std::string templateText();

    // The absolute path of a relative path that stays inside the folder; nothing otherwise.
    std::optional<std::filesystem::path> resolved(std::string_view relativePath) const;

private:
    std::filesystem::path m_root;
};

} // namespace platform
