#include "kit/diagnostics/ResetAppData.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/Relaunch.h"
#include "kit/foundation/ZKApp.h"
#include "platform/Logger.h"
#include "platform/PrivateFiles.h"

#include <qcoro/qcorotask.h>

#include <algorithm>
#include <unistd.h>

namespace zk {

namespace {

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

std::filesystem::path scriptsFolderIn(const std::filesystem::path& dataDirectory)
{
    return dataDirectory / "shortcuts";
}

std::string resetSummary()
{
    return "Your settings and history, and the folders “" + appDataDirectory().string() + "” and “"
        + appCacheDirectory().string() + "”, are moved to the Trash, and " + ZKApp::name()
        + " no longer starts when you log in. Your scripts in “"
        + scriptsFolderIn(appDataDirectory()).string() + "” are kept.";
}

namespace {

// Whether `path` is `folder` or lies inside it.
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder)
{
    const auto relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !relative.empty() && *relative.begin() != "..";
}

// Moves an item out of the data folder, beside it, for as long as the data folder is being moved
// to the Trash, and back afterwards: the user's scripts, and the lock that this instance holds by
// its name (a relaunched instance waits for it, and this one removes it by name when it ends).
class KeptInPlace {
public:
    // `folders`: what goes to the Trash; the item waits beside the one that holds it. `what` names
    // it for the user; a kept item that `announced` is said to be kept.
    KeptInPlace(std::filesystem::path path, std::string what, bool announced,
        const std::vector<std::filesystem::path>& folders, ResetResult& result)
        : m_path(std::move(path))
        , m_what(std::move(what))
        , m_announced(announced)
        , m_result(result)
    {
        std::error_code error;
        const auto holder = std::find_if(
            folders.begin(), folders.end(), [this](const auto& folder) { return isInside(m_path, folder); });
        if (holder == folders.end()
            || !std::filesystem::exists(std::filesystem::symlink_status(m_path, error))) {
            m_ready = true;
            return;
        }
        // Appended piece by piece: GCC 12 at -O3 misreads "literal" + std::string&& as an overlapping copy.
        std::string asideName = ".";
        asideName.append(holder->filename().string())
            .append("-kept-")
            .append(std::to_string(::getpid()))
            .append("-")
            .append(m_path.filename().string());
        m_aside = holder->parent_path() / asideName;
        std::filesystem::rename(m_path, m_aside, error);
        if (error) {
            m_aside.clear();
            m_result.failures.push_back(m_what + " in “" + m_path.string()
                + "” could not be set apart, so nothing was moved to the Trash: " + error.message());
            return;
        }
        m_ready = true;
    }
    KeptInPlace(const KeptInPlace&) = delete;
    KeptInPlace& operator=(const KeptInPlace&) = delete;
    ~KeptInPlace()
    {
        if (m_aside.empty()) {
            return;
        }
        std::error_code error;
        // The data folder is the user's own, as at the first start: closed to everyone else.
        platform::PrivateFiles::createFolders(m_path.parent_path(), error);
        if (!error) {
            std::filesystem::rename(m_aside, m_path, error);
        }
        if (error) {
            m_result.failures.push_back(m_what + " could not be put back into “" + m_path.string() + "”; "
                + (m_announced ? "they are" : "it is") + " in “" + m_aside.string()
                + "”: " + error.message());
        } else if (m_announced) {
            m_result.removed.push_back(m_what + " in “" + m_path.string() + "” were kept.");
        }
    }
    // False when the item could not be set apart: then nothing may go.
    bool ready() const { return m_ready; }

private:
    std::filesystem::path m_path;
    std::string m_what;
    bool m_announced;
    std::filesystem::path m_aside;
    ResetResult& m_result;
    bool m_ready = false;
};

void switchOffLoginItem(platform::LoginItemService& service, ResetResult& result)
{
    if (service.status() != platform::LoginItemService::Status::enabled) {
        return;
    }
    service.unregisterApp([&result](const platform::LoginItemService::Failure& failure) {
        if (failure) {
            result.failures.push_back("Launch at login could not be switched off: " + *failure);
        } else {
            result.removed.push_back("Launch at login was switched off.");
        }
    });
}

} // namespace

ResetResult resetAppData(const ResetEnvironment& environment)
{
    ResetResult result;
    const auto suite = environment.suite ? environment.suite : platform::UserDefaults::standard();
    switchOffLoginItem(
        environment.loginItems ? *environment.loginItems : platform::LoginItemService::mainAppService(),
        result);

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

    // The store's file goes with its folder as it is now, closed so that it is complete and that
    // no later write of this process reaches the copy in the Trash.
    const std::filesystem::path storePath = suite->filePath();
    const bool storeGoes = storePath.is_absolute()
        && std::any_of(
            folders.begin(), folders.end(), [&](const auto& folder) { return isInside(storePath, folder); });
    bool storeWent = false;
    {
        const KeptInPlace scripts(scriptsFolderIn(data), "Your scripts", true, folders, result);
        // The single-instance lock beside the store (see the application's start-up).
        const KeptInPlace lock(
            storePath.string() + ".instance-lock", "The instance lock", false, folders, result);
        if (scripts.ready() && lock.ready()) {
            if (storeGoes) {
                suite->close();
            }
            if (const auto failure
                = trashItems(folders, environment.moveToTrash ? environment.moveToTrash : moveItemToTrash)) {
                result.failures.push_back(
                    "“" + failure->path.string() + "” could not be moved to the Trash: " + failure->reason);
            }
            for (const auto& folder : folders) {
                if (!std::filesystem::exists(folder, error)) {
                    result.removed.push_back("“" + folder.string() + "” was moved to the Trash.");
                }
            }
            storeWent = storeGoes && !std::filesystem::exists(storePath, error);
        }
    }

    if (storeWent) {
        result.removed.push_back(
            "The settings and the history went to the Trash with “" + storePath.string() + "”.");
    } else if (!storeGoes) {
        suite->removeAll();
        for (const auto& [key, value] : suite->storedValues()) {
            if (value) {
                result.failures.push_back("The setting “" + key + "” could not be removed.");
            }
        }
        result.removed.push_back("The settings and the history were removed.");
    } else {
        // Closed but still in place: the next launch finds the settings as they were.
        result.failures.push_back("The settings and the history were kept in “" + storePath.string() + "”.");
    }
    for (const auto& line : result.removed) {
        platform::log(platform::LogLevel::Info, platform::lcDiagnostics(), line);
    }
    for (const auto& failure : result.failures) {
        platform::log(platform::LogLevel::Error, platform::lcDiagnostics(), failure);
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
