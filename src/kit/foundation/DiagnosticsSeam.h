#pragma once

#include "platform/store/UserDefaults.h"

#include <filesystem>
#include <functional>
#include <string>

class QMenu;

namespace zk {

// What the start-up of the kit needs from the diagnostics: the two debug windows, the "Debug"
// menu, deleting the settings and data, and the relaunch after it. The diagnostics install their
// operations here when they start; until then (and for any operation left empty) the fallbacks
// below do the least that is useful.
//
// Main-thread only.
struct DiagnosticsSeam {
    // Shows the user-facing debug information window.
    std::function<void()> showUserDebugWindow;
    // Shows the developer debug window.
    std::function<void()> showDebugWindow;
    // Adds the "Debug" item to `menu` (never null) when the application runs in debug mode.
    std::function<void(QMenu& menu)> addDebugMenu;
    // Deletes every setting and the application's data.
    std::function<void()> resetAppData;
    // What resetAppData removes and keeps, in words for the user before they confirm.
    std::function<std::string()> resetSummary;
    // Starts a new instance and ends this one (see relaunchApp).
    std::function<void(bool exitImmediately, bool showSettingsAfterRelaunch)> relaunchAfterReset;
    // The "key: value" lines of facts that the feedback form receives as its metadata.
    std::function<std::string()> feedbackMetadata;

    static DiagnosticsSeam& shared();
    // Puts `seam` in place of the current operations (an empty one restores the fallbacks).
    static void install(DiagnosticsSeam seam);
};

// The operations through the seam, each falling back when nothing is installed.
void showUserDebugWindow();
void showDebugWindow();
// Does nothing unless ZKKit::isDebugModifierHeld(); then, without an installed operation, appends a
// "Debug" submenu with a "Show" entry that shows the developer debug window.
void addDebugMenu(QMenu& menu);
// Without an installed operation: removes every key of the standard suite and the application's
// data under $XDG_DATA_HOME/kiruvo except the settings database (see resetAppDataFallback).
void resetAppData();
// Without an installed operation: nothing.
std::string resetAppDataSummary();
// Starts relaunchApp without waiting for it.
void relaunchAfterReset(bool exitImmediately, bool showSettingsAfterRelaunch);
// Without an installed operation: the application's name and version only.
std::string feedbackMetadata();

// The fallback reset: removes every key of the suite, then everything in the data folder except
// the settings database (its file name and the files beside it that start with it) and the user's
// own scripts in "shortcuts", and the whole cache folder. A failure is logged; the rest goes on.
void removeAppData(platform::UserDefaults& suite, const std::filesystem::path& dataDirectory,
    const std::filesystem::path& cacheDirectory, const std::string& databaseFileName);
// $XDG_DATA_HOME/kiruvo and $XDG_CACHE_HOME/kiruvo (under ~/.local/share and ~/.cache when unset).
std::filesystem::path appDataDirectory();
std::filesystem::path appCacheDirectory();

} // namespace zk
