#pragma once

#include "platform/store/UserDefaults.h"

#include <functional>
#include <memory>
#include <string>

// One-time conversions of settings written by earlier versions, run at start-up before the
// menu-bar controller and the session engine exist. None of them changes anything on the first
// launch, and none reports a value it cannot convert: such a value is left as it is.
//
// Main thread, at start-up.
namespace kiruvo::SettingsMigrations {

inline constexpr const char* defaultsV5Identifier = "migrateToDefaultsv5";

// Runs `work` unless the identifier's flag is set, and sets the flag only when `work` answers true
// (it succeeded), so failed work runs again on the next launch. True when `work` ran.
using RunOnce = std::function<bool(const std::string& identifier, const std::function<bool()>& work)>;
// The kit's run-once flags in `suite`.
RunOnce kitRunOnce(const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

// Rewrites "sessions", "showInMenuBar", "notificationType" and "notificationSound" from the JSON
// text that earlier versions stored into their current forms, with change notifications on this
// thread silenced. A key holding no text, or text that does not decode as its value, is left as it
// is, so running this over current settings changes nothing. False when a converted value could
// not be stored (the other keys are converted all the same).
bool convertToDefaultsV5(
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

// The gated conversion, unless the "migrateToDefaultsv5" flag is set: converts unless this is the
// first launch, and sets the flag once the conversion is stored (on the first launch at once).
void runDefaultsMigration(bool isFirstLaunch, const RunOnce& runOnce,
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());
// The same with the kit's run-once flags and launch facts.
void runDefaultsMigration();

// The Boolean "showDurationInMenuBar" of earlier versions into "showInMenuBar": true shows the
// running duration, false the icon alone. Nothing on the first launch; nothing either when the
// old setting was never stored and "showInMenuBar" already holds a choice of its own.
void migrateShowDurationInMenuBarSetting(bool isFirstLaunch,
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());
// The Boolean "useSystemNotifications" into "notificationType": true gives system notifications,
// false the popover. Nothing on the first launch, nor when the old setting was never stored and
// "notificationType" already holds a choice.
void migrateUseSystemNotificationSetting(bool isFirstLaunch,
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

} // namespace kiruvo::SettingsMigrations
