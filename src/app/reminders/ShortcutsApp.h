#pragma once

#include "platform/Uuid.h"

#include <QColor>
#include <QCoro/QCoroTask>
#include <QIcon>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kiruvo::ShortcutsApp {

// The user's shortcuts are the executable scripts of the shortcuts folder
// (platform::ShortcutsFolder, $XDG_DATA_HOME/kiruvo/shortcuts/). Without that folder there are no
// shortcuts: lists are empty, look-ups find nothing and runs do nothing; that is never an error.
// Every run or open looks the shortcut up again by its identifier, so a moved or deleted script is
// simply not found.
//
// Main-thread only; runs never block the main thread.

// The identifier under which other code asks about the shortcuts service.
inline constexpr const char* eventsAgentBundleIdentifier = "com.apple.shortcuts.events";

// A sub-folder of the shortcuts folder.
struct Folder {
    platform::Uuid id;
    std::string name;

    bool operator==(const Folder&) const = default;
};

struct Shortcut {
    // Stored in the setting "notificationRunShortcut".
    platform::Uuid id;
    // The script's file name without its extension.
    std::string name;
    // Its path inside the shortcuts folder ("Breaks/stretch.sh").
    std::string subtitle;
    // Always opaque; derived from the identifier, so each keeps its colour.
    QColor color;
    // Its commands: non-blank lines that are not comments.
    std::int64_t actionCount = 0;
    QIcon icon;
    // Absent at the top of the shortcuts folder.
    std::optional<Folder> folder;
    // A script always has standard input.
    bool isInputAccepted = true;

    // Every field; colours by value, icons by their cache key.
    bool operator==(const Shortcut& other) const;
};

// Whether the shortcuts folder exists.
bool isAvailable();

// Every shortcut, ordered by path; empty without the folder. The folder is read on a worker
// thread.
QCoro::Task<std::vector<Shortcut>> shortcuts();
// The shortcut with this identifier, looked up afresh.
std::optional<Shortcut> shortcut(const platform::Uuid& id);

// What a look-up could tell.
enum class LookupOutcome {
    found,
    // The folder was read completely and holds no such script: it has been moved or deleted.
    missing,
    // The folder is absent, or some of it could not be read: the script may still be there.
    unavailable,
};
struct Lookup {
    LookupOutcome outcome = LookupOutcome::unavailable;
    // Present when found.
    std::optional<Shortcut> shortcut;
};
// Looks the shortcut up afresh; the folder is read on a worker thread.
QCoro::Task<Lookup> lookUp(platform::Uuid id);

// Checks the script chosen in "notificationRunShortcut": the choice is cleared only when the
// folder could be read completely and the script is gone; an absent or unreadable folder leaves
// it as it is (and says so in the log), so that a folder on a drive that is not mounted yet does
// not cost the user their choice. Answers the outcome, or nothing when no script is chosen.
QCoro::Task<std::optional<LookupOutcome>> validateChosenShortcut();

// Runs the shortcut with `input` on its standard input and completes with its output lines. An
// unknown shortcut, a missing folder or a failed run gives an empty list (the failure is logged);
// a script still running after platform::ShortcutsFolder::defaultRunTimeLimit is stopped and
// counts as failed.
QCoro::Task<std::vector<std::string>> runShortcut(platform::Uuid id, std::optional<std::string> input);

// Opens the shortcut's script for editing, once the folder has been read on a worker thread. An
// unknown one is reported as "Could not find shortcut" and nothing opens.
QCoro::Task<void> openShortcut(platform::Uuid id);

// Writes a new shortcut from the template into the folder (creating it) and opens it for
// editing. Answers the new shortcut, or nothing when it could not be written, with why in
// `problem`; nothing half-written is left then.
std::optional<Shortcut> createShortcut(std::string* problem = nullptr);

} // namespace kiruvo::ShortcutsApp

template <> struct std::hash<kiruvo::ShortcutsApp::Folder> {
    std::size_t operator()(const kiruvo::ShortcutsApp::Folder& folder) const noexcept;
};
template <> struct std::hash<kiruvo::ShortcutsApp::Shortcut> {
    std::size_t operator()(const kiruvo::ShortcutsApp::Shortcut& shortcut) const noexcept;
};
