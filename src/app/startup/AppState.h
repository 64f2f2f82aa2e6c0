#pragma once

#include "platform/store/UserDefaults.h"

#include <QObject>

#include <functional>
#include <memory>

namespace kiruvo {

class MenuBarController;
class SessionController;

// The application-wide state: owns the one menu-bar controller for the life of the process.
//
// Creating it runs the two run-once settings migrations (the Booleans that became enums), then
// queues one main-queue step that creates the menu-bar controller and, on the first launch only,
// shows the Welcome window once the status item exists. Everything queued earlier (the kit's own
// start-up work) runs before that step.
//
// The tray is installed through setMenuBarControllerFactory(); the Welcome window follows
// firstLaunchFinished(). Without a menu-bar controller the application still tracks: the
// queued step says so once, applies "enableAtLaunch" to the session engine and drives its idle check
// every second. (A controller whose desktop has no tray keeps its own tick and tells the user itself.)
//
// Main-thread only.
class AppState : public QObject {
    Q_OBJECT
public:
    using MenuBarControllerFactory = std::function<std::shared_ptr<MenuBarController>()>;

    struct Environment {
        // Whether this is the first launch. Empty: ZKApp::isFirstLaunch().
        std::function<bool()> isFirstLaunch;
        // Where the run-once flags are kept. Empty: the standard suite.
        std::shared_ptr<platform::UserDefaults> suite;
        // The two migrations, each run when its run-once flag is still unset (they change nothing
        // on the first launch). Empty: the application's own, over `suite`.
        std::function<void(bool isFirstLaunch)> migrateShowDurationInMenuBarSetting;
        std::function<void(bool isFirstLaunch)> migrateUseSystemNotificationSetting;
        // The session engine driven when there is no tray. Empty: SessionController::shared().
        std::function<SessionController&()> sessionController;
    };

    static constexpr const char* showDurationMigrationIdentifier = "migrateShowDurationInMenuBarSetting";
    static constexpr const char* systemNotificationMigrationIdentifier
        = "migrateUseSystemNotificationSetting";

    // The process-wide instance, created on first use.
    static AppState& shared();

    explicit AppState(Environment environment = {});
    ~AppState() override;

    // The menu-bar controller, created by the installed factory on the first read and kept.
    // nullptr when no factory is installed, and for a read made while the controller is being
    // built (so that its own construction never builds a second one).
    MenuBarController* menuBarController();
    bool hasMenuBarController() const { return m_menuBarController != nullptr; }

    // Whether the queued start-up step has run.
    bool hasFinishedLaunching() const { return m_hasFinishedLaunching; }
    // Whether the application tracks without a tray (the engine checks idleness by itself either
    // way).
    bool isTrackingWithoutMenuBar() const { return m_isTrackingWithoutMenuBar; }

    // Installed by the tray before AppState::shared() is first used; an empty one removes it.
    static void setMenuBarControllerFactory(MenuBarControllerFactory factory);
Q_SIGNALS:
    // The queued start-up step of a first launch has run, the status item exists: the Welcome
    // window is due. With nothing connected (no windows) the first launch is only logged.
    void firstLaunchFinished();

private:
    void finishLaunching();
    void trackWithoutMenuBar();

    Environment m_environment;
    std::shared_ptr<MenuBarController> m_menuBarController;
    bool m_isTrackingWithoutMenuBar = false;
    bool m_isBuildingMenuBarController = false;
    bool m_hasFinishedLaunching = false;
};

} // namespace kiruvo
