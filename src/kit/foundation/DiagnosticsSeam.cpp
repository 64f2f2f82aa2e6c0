#include "kit/foundation/DiagnosticsSeam.h"

#include "kit/foundation/Relaunch.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/ZKKit.h"
#include "kit/foundation/core/ReportError.h"
#include "platform/AppFolders.h"
#include "platform/Logger.h"

#include <QAction>
#include <QMenu>
#include <cstdlib>
#include <memory>
#include <qcoro/qcorotask.h>

namespace zk {

namespace {

constexpr const char* debugMenuAddedProperty = "zkDebugMenuAdded";

void logFailure(const std::string& what, const std::error_code& error)
{
    platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(), what + ": " + error.message());
}

QCoro::Task<> relaunchDetached(bool exitImmediately, bool showSettingsAfterRelaunch)
{
    co_await relaunchApp(exitImmediately, showSettingsAfterRelaunch);
}

} // namespace

DiagnosticsSeam& DiagnosticsSeam::shared()
{
    static DiagnosticsSeam seam;
    return seam;
}

void DiagnosticsSeam::install(DiagnosticsSeam seam)
{
    shared() = std::move(seam);
}

void showUserDebugWindow()
{
    if (auto show = DiagnosticsSeam::shared().showUserDebugWindow) {
        show();
        return;
    }
    platform::log(
        platform::LogLevel::Info, platform::lcDiagnostics(), "The user debug window is not available yet.");
}

void showDebugWindow()
{
    if (auto show = DiagnosticsSeam::shared().showDebugWindow) {
        show();
        return;
    }
    platform::log(
        platform::LogLevel::Info, platform::lcDiagnostics(), "The debug window is not available yet.");
}

void addDebugMenu(QMenu& menu)
{
    if (!ZKKit::isDebugModifierHeld()) {
        return;
    }
    // Once per build of the menu: a menu that is cleared and built again (the status menu, at each
    // opening) lost the item with its other items, and gets it again.
    const QList<QAction*> before = menu.actions();
    for (const QAction* action : before) {
        if (action->property(debugMenuAddedProperty).toBool()) {
            return;
        }
    }
    if (auto add = DiagnosticsSeam::shared().addDebugMenu) {
        add(menu);
    } else {
        QMenu* debug = menu.addMenu(QStringLiteral("Debug"));
        QAction* show = debug->addAction(QStringLiteral("Show"));
        QObject::connect(show, &QAction::triggered, [] { showDebugWindow(); });
    }
    for (QAction* action : menu.actions()) {
        if (!before.contains(action)) {
            action->setProperty(debugMenuAddedProperty, true);
        }
    }
}

void resetAppData()
{
    if (auto reset = DiagnosticsSeam::shared().resetAppData) {
        reset();
        return;
    }
    auto suite = platform::UserDefaults::standard();
    std::string databaseFileName = "defaults.sqlite3";
    if (const std::string path = suite->filePath(); !path.empty()) {
        databaseFileName = std::filesystem::path(path).filename().string();
    }
    removeAppData(*suite, appDataDirectory(), appCacheDirectory(), databaseFileName);
}

std::string resetAppDataSummary()
{
    if (auto summary = DiagnosticsSeam::shared().resetSummary) {
        return summary();
    }
    return {};
}

void relaunchAfterReset(bool exitImmediately, bool showSettingsAfterRelaunch)
{
    if (auto relaunch = DiagnosticsSeam::shared().relaunchAfterReset) {
        relaunch(exitImmediately, showSettingsAfterRelaunch);
        return;
    }
    // The task runs on by itself once its handle is dropped.
    auto task = relaunchDetached(exitImmediately, showSettingsAfterRelaunch);
}

std::string feedbackMetadata()
{
    if (auto fields = DiagnosticsSeam::shared().feedbackMetadata) {
        return fields();
    }
    return "App: " + ZKApp::name() + " " + ZKApp::versionWithBuild();
}

void removeAppData(platform::UserDefaults& suite, const std::filesystem::path& dataDirectory,
    const std::filesystem::path& cacheDirectory, const std::string& databaseFileName)
{
    suite.removeAll();

    std::error_code error;
    if (std::filesystem::is_directory(dataDirectory, error)) {
        std::vector<std::filesystem::path> doomed;
        for (const auto& entry : std::filesystem::directory_iterator(dataDirectory, error)) {
            const std::string name = entry.path().filename().string();
            // The settings database is open; its keys are already gone. The scripts are the
            // user's own work, not data of the application.
            if ((!databaseFileName.empty() && name.starts_with(databaseFileName)) || name == "shortcuts") {
                continue;
            }
            doomed.push_back(entry.path());
        }
        if (error) {
            logFailure("Could not list " + dataDirectory.string(), error);
        }
        for (const auto& path : doomed) {
            std::error_code removeError;
            std::filesystem::remove_all(path, removeError);
            if (removeError) {
                logFailure("Could not remove " + path.string(), removeError);
            }
        }
    }
    error.clear();
    if (std::filesystem::exists(cacheDirectory, error)) {
        std::filesystem::remove_all(cacheDirectory, error);
        if (error) {
            logFailure("Could not remove " + cacheDirectory.string(), error);
        }
    }
}

std::filesystem::path appDataDirectory()
{
    return platform::AppFolders::dataFolder();
}

std::filesystem::path appCacheDirectory()
{
    return platform::AppFolders::cacheFolder();
}

} // namespace zk
