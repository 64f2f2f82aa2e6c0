#pragma once

#include <QCoro/QCoroTask>

#include <string>

namespace kiruvo {

namespace Permissions::Automation {

// Whether Kiruvo may drive another program. The only program it drives is the shortcuts service
// (the user's scripts folder).
enum class Status {
    authorized,
    denied,
    notDetermined,
    // The target is not there, so nothing can be told.
    notRunning,
    unknown,
};

} // namespace Permissions::Automation

// For the shortcuts service (ShortcutsApp::eventsAgentBundleIdentifier): `authorized` when the
// shortcuts folder can be read, else `notRunning`. Any other target is not there: `notRunning`.
// Nobody is ever asked, so `askUserIfNeeded` changes nothing. Never fails.
QCoro::Task<Permissions::Automation::Status> automationPermissionStatus(
    std::string bundleIdentifier, bool askUserIfNeeded);

} // namespace kiruvo
