#include "app/reminders/AutomationPermission.h"

#include "app/reminders/ShortcutsApp.h"
#include "platform/Logger.h"
#include "platform/desktop/ShortcutsFolder.h"

namespace kiruvo {

QCoro::Task<Permissions::Automation::Status> automationPermissionStatus(
    std::string bundleIdentifier, bool /*askUserIfNeeded*/)
{
    using Permissions::Automation::Status;
    if (bundleIdentifier != ShortcutsApp::eventsAgentBundleIdentifier) {
        platform::log(platform::LogLevel::Info, platform::lcScripts(),
            "No program to automate for " + bundleIdentifier);
        co_return Status::notRunning;
    }
    co_return platform::ShortcutsFolder::standard().isReadable() ? Status::authorized : Status::notRunning;
}

} // namespace kiruvo
