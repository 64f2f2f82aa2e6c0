#include "kit/diagnostics/Diagnostics.h"

#include "kit/diagnostics/DebugInfo.h"
#include "kit/diagnostics/DebugWindowController.h"
#include "kit/diagnostics/Email.h"
#include "kit/diagnostics/EmailSharingService.h"
#include "kit/diagnostics/ResetAppData.h"
#include "kit/diagnostics/SecurityScopedBookmarkManager.h"
#include "kit/diagnostics/UserDebugWindowController.h"
#include "kit/foundation/DiagnosticsSeam.h"

#include <memory>
#include <utility>

namespace zk::Diagnostics {

void install()
{
    // The reset of the launch-time offer keeps what it could not delete until the relaunch that
    // follows it, which says so first.
    auto lastReset = std::make_shared<ResetResult>();
    DiagnosticsSeam seam;
    seam.showUserDebugWindow = [] { UserDebugWindowController::show(); };
    seam.showDebugWindow = [] { DebugWindowController::show(); };
    seam.addDebugMenu = [](QMenu& menu) { addDebugMenuTo(menu); };
    seam.resetAppData = [lastReset] { *lastReset = resetAppData(ResetEnvironment {}); };
    seam.resetSummary = [] { return resetSummary(); };
    seam.relaunchAfterReset = [lastReset](bool exitImmediately, bool showSettingsAfterRelaunch) {
        relaunchTellingResetFailures(
            std::exchange(*lastReset, {}), exitImmediately, showSettingsAfterRelaunch);
    };
    seam.feedbackMetadata = [] { return debugInfoFields(); };
    DiagnosticsSeam::install(std::move(seam));

    static bool servicesRegistered = false;
    if (!std::exchange(servicesRegistered, true)) {
        SharingService::registerSystemService(std::make_shared<EmailSharingService>());
        // The mail program may read an attachment long after it was handed over, even after we quit.
        removeOldEmailAttachments();
    }
    SaveImageSharingService::directoryAccess()
        = [](const QString& folder, const std::function<void()>& work) {
              SecurityScopedBookmarkManager::withDirectoryAccess(
                  folder.toStdString(), [&](const std::string&) { work(); });
          };
}

} // namespace zk::Diagnostics
