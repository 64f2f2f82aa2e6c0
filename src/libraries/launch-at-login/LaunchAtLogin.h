#pragma once

#include "libraries/defaults/Defaults.h"
#include "platform/combine/AnyPublisher.h"

#include <functional>
#include <string>
#include <string_view>

// Whether the application starts when the user logs in, and the one-time move from the login item
// of earlier versions. The state lives in the desktop (platform::LoginItemService::mainAppService()),
// not in the program: every read asks it again.
//
// The state is offered three ways: publisher() for code, observable() for widgets (the Toggle is
// bound to it), and kvo() as a Qt property. Main-thread only.
namespace LaunchAtLogin {

class Observable;
class KVO;

// The module's error log: subsystem "com.zelvantorium.LaunchAtLogin", category "main"; its lines go
// to standard error under kiruvo.startup.
struct Logger {
    std::string_view subsystem;
    std::string_view category;
    void error(std::string_view message) const;
};
const Logger& logger();

bool isEnabled();
// Registers or unregisters the application. observable() announces the change at once and again
// once the desktop has answered (it may ask the user first); then kvo() says it changed and
// publisher() sends the state read back from the desktop, which is the requested one only when the
// desktop did what was asked. A refusal is logged ("Failed to enable launch at login: ...").
void setEnabled(bool value);

// Its first value is the state when it was first asked for; then the state after every write.
platform::combine::AnyPublisher<bool> publisher();
Observable& observable();
KVO& kvo();

// The identifier of the separate login-item program of earlier versions.
const std::string& legacyHelperBundleIdentifier();
// Whether that program's login item is switched on.
bool isLegacyHelperEnabled();
// Switches that program's login item off; a failure is ignored.
void disableLegacyHelper();

// The register or unregister step of a write, without its announcements. Enabling an item that is
// on already changes nothing. `done` runs once the desktop has answered.
void setWithAppService(bool value, std::function<void()> done = {});

// "LaunchAtLogin__hasMigrated": true once the login item of earlier versions has been moved.
const Defaults::Key<bool>& hasMigratedKey();

// Run once at every start-up, before the settings migrations: the first time it moves a login item
// of earlier versions that is switched on to the application's own, and in every case switches the
// old one off. Later starts do nothing.
void migrateIfNeeded();

} // namespace LaunchAtLogin
