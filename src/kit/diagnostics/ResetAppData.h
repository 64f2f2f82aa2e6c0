#pragma once

#include "kit/interface/FileUtilities.h"
#include "platform/desktop/LoginItemService.h"
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
    // Empty: the desktop's login item (platform::LoginItemService::mainAppService()).
    platform::LoginItemService* loginItems = nullptr;
};

// What a reset did, and what it could not do, one line each; failures empty when everything went.
struct ResetResult {
    std::vector<std::string> removed;
    std::vector<std::string> failures;
    bool succeeded() const { return failures.empty(); }
};

// The user's own scripts, inside the data folder: a reset never takes them.
std::filesystem::path scriptsFolderIn(const std::filesystem::path& dataDirectory);

// What a reset removes and what it keeps, in words for the user before they confirm.
std::string resetSummary();

// Deletes the application's settings and files so that the next launch is a first launch, and
// keeps the user's scripts:
// 1. the login item the application made is switched off;
// 2. in a sandbox, the sandbox's own folder (two levels above the data folder) goes to the Trash;
//    otherwise the data folder (without the scripts folder, which stays where it is) and then the
//    cache folder, the first failure leaving the cache folder in place. A folder that does not
//    exist is nothing to delete. A store whose file lies in a folder that goes is closed first,
//    so that the Trash holds it complete, as it was, history included, and nothing is written to
//    it afterwards; its file then is gone, and the next launch starts with an empty store;
// 3. a store kept elsewhere has every key of the suite removed, after the folders went.
// What went and each failure are logged and returned, so that the caller can say so before it
// relaunches. Main-thread only.
ResetResult resetAppData(const ResetEnvironment& environment);

// Deletes the settings and data, tells the user about anything that could not be deleted (and
// waits for the alert to be dismissed), then relaunches the application normally. Main-thread only.
void deleteAppDataAndRelaunch();

// Starts a relaunch (see relaunchApp) and returns at once.
void startRelaunchTask(bool exitImmediately, bool showSettingsAfterRelaunch);
// The same after telling the user what the reset could not delete (waiting for the alert).
void relaunchTellingResetFailures(ResetResult result, bool exitImmediately, bool showSettingsAfterRelaunch);

} // namespace zk
