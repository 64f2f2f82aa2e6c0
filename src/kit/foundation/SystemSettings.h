#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// The panes of the desktop's own settings that the application opens.
namespace SystemSettingsPane {
inline constexpr const char* notifications = "notifications";
} // namespace SystemSettingsPane

// A program and its arguments.
using SystemSettingsCommand = std::vector<std::string>;

// The command that opens the pane in the settings of the desktop named by XDG_CURRENT_DESKTOP (a
// colon-separated list, "ubuntu:GNOME"): GNOME's control center or KDE's System Settings. Nothing
// for another desktop, or for a pane that has no page there.
std::optional<SystemSettingsCommand> systemSettingsCommand(
    std::string_view pane, std::string_view currentDesktop);
// The command for the running desktop, where known.
std::optional<SystemSettingsCommand> currentSystemSettingsCommand(std::string_view pane);

// Opens the pane in the running desktop's settings. False, with the reason logged, when the
// desktop or the pane is not known or the settings program could not be started. Main-thread only.
bool openSystemSettingsPane(std::string_view pane);
// The same, and when it fails the user is told (an alert) where to look instead.
bool openSystemSettingsPaneOrTell(std::string_view pane);

} // namespace zk
