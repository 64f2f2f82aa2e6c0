#include "kit/diagnostics/ResetAppData.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/Relaunch.h"
#include "kit/foundation/ZKApp.h"
#include "platform/Logger.h"
#include "platform/store/DefaultsDatabase.h"

#include <qcoro/qcorotask.h>

namespace zk {

namespace {

constexpr std::string_view category = "reset";

QCoro::Task<> relaunchAfterTellingFailures(
    ResetResult result, bool exitImmediately, bool showSettingsAfterRelaunch)
{
    if (!result.succeeded()) {
        std::string detail;
        for (const auto& failure : result.failures) {
            detail += (detail.empty() ? "" : "\n") + failure;
        }
        AlertDescription description;
        description.title = "Not all data could be deleted";
        description.message = "Some of " + ZKApp::name()
            + "’s data is still in place. The application restarts now; you can remove what is left by hand.";
        description.detailText = detail;
        co_await AlertPresenter::shared().presentAsync(makeAlert(description));
    }
    co_await relaunchApp(exitImmediately, showSettingsAfterRelaunch);
}

} // namespace

ResetResult resetAppData(const ResetEnvironment& environment)
{
    ResetResult result;
    const auto suite = environment.suite ? environment.suite : platform::UserDefaults::standard();
    suite->removeAll();
    for (const auto& [key, value] : suite->database()->values(suite->suiteName())) {
        if (value) {
            result.failures.push_back("The setting “" + key + "” could not be removed.");
        }
    }

    const std::filesystem::path data
        = environment.dataDirectory.empty() ? appDataDirectory() : environment.dataDirectory;
    const std::filesystem::path cache
        = environment.cacheDirectory.empty() ? appCacheDirectory() : environment.cacheDirectory;
    std::vector<std::filesystem::path> folders;
    if (environment.isSandboxed.value_or(ZKApp::isSandboxed())) {
        folders.push_back(data.parent_path().parent_path());
    } else {
        folders = { data, cache };
    }
    std::error_code error;
    std::erase_if(folders, [&](const auto& folder) { return !std::filesystem::exists(folder, error); });
    if (const auto failure
        = trashItems(folders, environment.moveToTrash ? environment.moveToTrash : moveItemToTrash)) {
        result.failures.push_back(
            "“" + failure->path.string() + "” could not be moved to the Trash: " + failure->reason);
    }
    for (const auto& failure : result.failures) {
        platform::log(platform::LogLevel::Error, category, failure);
    }
    return result;
}

void deleteAppDataAndRelaunch()
{
    relaunchTellingResetFailures(resetAppData(ResetEnvironment {}), false, false);
}

void relaunchTellingResetFailures(ResetResult result, bool exitImmediately, bool showSettingsAfterRelaunch)
{
    // The task runs on by itself once its handle is dropped.
    auto task = relaunchAfterTellingFailures(std::move(result), exitImmediately, showSettingsAfterRelaunch);
}

void startRelaunchTask(bool exitImmediately, bool showSettingsAfterRelaunch)
{
    relaunchTellingResetFailures(ResetResult {}, exitImmediately, showSettingsAfterRelaunch);
}

} // namespace zk
