#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace platform {

// One captured error: a normalised domain and code, the text shown for it, its details as text,
// and where it was reported.
struct ErrorEvent {
    std::string domain;
    std::int64_t code = 0;
    std::string message;
    std::map<std::string, std::string> userInfo;
    std::string file;
    int line = 0;
};

// Keeps the record that a crash-reporting service would keep, on disk and nowhere else:
// - every captured event is appended as one JSON line to "error-reports.jsonl" in the state
//   folder; past about 1 MiB the file moves to "error-reports.jsonl.1" (replacing the older one),
//   so at most two files are ever kept;
// - a marker file ("running") is written at launch and removed at a clean exit, so the next launch
//   knows whether the previous run ended without one.
// The state folder is $KIRUVO_STATE_DIR when set, else $XDG_STATE_HOME/kiruvo, else
// ~/.local/state/kiruvo (the home from the user database when $HOME is unset), else, for an
// account without a home, "kiruvo" in $XDG_RUNTIME_DIR or "kiruvo-state-<uid>" in the temporary
// folder. The reports are the user's own: the folder is made 0700 and the files 0600, and nothing
// is written unless the folder is this user's and closed to others, nor through a symbolic link:
// otherwise the event is only logged. Safe from any thread; nothing here throws.
class ErrorReporter {
public:
    static constexpr std::uintmax_t maxFileSize = 1024 * 1024;
    static constexpr const char* reportsFileName = "error-reports.jsonl";
    static constexpr const char* markerFileName = "running";

    explicit ErrorReporter(std::filesystem::path directory);

    // The reporter in the state folder, created on first use; setShared() puts another in its
    // place (tests), nullptr restores it.
    static ErrorReporter& shared();
    static void setShared(ErrorReporter* reporter);

    // The state folder named by the environment (see above).
    static std::filesystem::path defaultDirectory();

    // Appends one JSON line; a failure to write is logged, never thrown.
    void capture(const ErrorEvent& event);

    // Whether the previous run ended without a clean exit: decided by markLaunch() (the marker
    // was still there); before it is called, whether the marker is there now.
    bool lastRunCrashed() const;

    // Notes the previous run's outcome, then writes the marker for this run.
    void markLaunch();
    // Removes the marker: this run ended cleanly.
    void markCleanExit();

    const std::filesystem::path& directory() const { return m_directory; }
    std::filesystem::path reportsPath() const { return m_directory / reportsFileName; }
    std::filesystem::path rotatedReportsPath() const
    {
        return m_directory / (std::string(reportsFileName) + ".1");
    }
    std::filesystem::path markerPath() const { return m_directory / markerFileName; }

    // The JSON line (without its line feed) written for an event at `unixTime`.
    static std::string lineFor(const ErrorEvent& event, double unixTime);

private:
    std::filesystem::path m_directory;
    mutable std::mutex m_mutex;
    std::optional<bool> m_lastRunCrashed;
};

} // namespace platform
