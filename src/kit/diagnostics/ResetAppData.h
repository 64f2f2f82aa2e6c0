#pragma once

#include "kit/interface/FileUtilities.h"
#include "platform/store/UserDefaults.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zk {

// What a reset touches; tests point it at their own folders. Empty members are the application's.
struct ResetEnvironment {
    // Empty: the standard suite.
    std::shared_ptr<platform::UserDefaults> suite;
    // Empty: $XDG_DATA_HOME/kiruvo and $XDG_CACHE_HOME/kiruvo.
    std::filesystem::path dataDirectory;
    std::filesystem::path cacheDirectory;
    // Empty: ZKApp::isSandboxed().
    std::optional<bool> isSandboxed;
    // Empty: the freedesktop Trash.
    MoveToTrash moveToTrash;
};

// What a reset could not do, one line for each failure; empty when everything went.
struct ResetResult {
    std::vector<std::string> failures;
    bool succeeded() const { return failures.empty(); }
};

// Deletes the application's settings and files so that the next launch is a first launch:
// 1. every key of the suite is removed;
// 2. in a sandbox, the sandbox's own folder (two levels above the data folder) goes to the Trash;
//    otherwise the data folder and then the cache folder, the first failure leaving the cache
//    folder in place. A folder that does not exist is nothing to delete.
// Each failure is logged and returned, so that the caller can say so before it relaunches.
// Main-thread only.
ResetResult resetAppData(const ResetEnvironment& environment);

// Deletes the settings and data, tells the user about anything that could not be deleted (and
// waits for the alert to be dismissed), then relaunches the application normally. Main-thread only.
void deleteAppDataAndRelaunch();

// Starts a relaunch (see relaunchApp) and returns at once.
void startRelaunchTask(bool exitImmediately, bool showSettingsAfterRelaunch);
// The same after telling the user what the reset could not delete (waiting for the alert).
void relaunchTellingResetFailures(ResetResult result, bool exitImmediately, bool showSettingsAfterRelaunch);

} // namespace zk
