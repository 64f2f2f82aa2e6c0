#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zk::SecurityScopedBookmarkManager {

// Access to the folders the user has chosen, remembered across launches under
// "__securityScopedBookmarks__" (the folder's file URL, links resolved, ending in "/", to its
// bookmark: the chosen folder's canonical path). A desktop without a sandbox needs no grant, so
// the entry only remembers the user's choice; inside a Flatpak sandbox the file dialog goes
// through the desktop portal, whose document store keeps the grant, and the bookmark is the
// document's path.

// What the prompt shows.
struct PanelConfiguration {
    std::string folder; // the folder the user must choose
    std::string title; // "Permission"
    std::string message;
    std::string prompt; // "Allow"
};

// How the prompt reaches the user; tests replace it. Empty members are the real ones.
struct Environment {
    // Runs the folder dialog modally; the chosen folder, or nothing when cancelled.
    std::function<std::optional<std::string>(const PanelConfiguration& configuration)> runPanel;
    // Shows an error and returns when it has been dismissed.
    std::function<void(const std::string& description, const std::string& recoverySuggestion)> showError;
    // The user's home folder (from the account database). Empty: getpwuid.
    std::function<std::string()> homeDirectory;

    static Environment& shared();
};

enum class AccessResult {
    ran, // the work ran (and did not fail)
    cancelled, // the user gave no access; the work did not run
    refused, // a prompt was already open on the main thread; the work did not run
    failed, // the work ran and failed; the failure has been shown
};

// Runs `work` while the folder of `path` is accessible: the path itself when it ends in "/", else
// its parent. Asks the user when no stored bookmark resolves. A std::exception from the work is
// shown to the user, not passed on. From any thread; the prompt runs on the main thread, and a
// prompt asked for from another thread waits for the one that is open.
AccessResult withDirectoryAccess(
    const std::string& path, const std::function<void(const std::string& folder)>& work);

// The folder the stored bookmark of `folder` leads to, when it still exists.
std::optional<std::string> bookmarkedURL(const std::string& folder);

struct PromptResult {
    // The chosen folder; nothing when the user cancelled or the prompt was refused.
    std::optional<std::string> url;
    // Why the prompt was refused.
    std::optional<std::string> error;
};
// Asks the user to choose `folder` (no other folder is accepted), stores its bookmark and answers
// the chosen folder.
PromptResult promptForDirectoryAccess(
    const std::string& folder, const std::optional<std::string>& message = std::nullopt);

// "root" for "/", else the folder's last component between curly quotes.
std::string folderDisplayName(const std::string& folder);
// The given message, or "<name> needs access to the <display name> folder. Click “Allow” to proceed."
std::string panelMessage(const std::string& folder, const std::optional<std::string>& message);
// Nothing when `chosen` is `expected` (links resolved); else the recovery suggestion
// "Select the directory “~/Documents/Work”." with the home folder written as "~".
std::optional<std::string> validationFailure(
    const std::string& chosen, const std::string& expected, const std::string& homeDirectory);

} // namespace zk::SecurityScopedBookmarkManager
