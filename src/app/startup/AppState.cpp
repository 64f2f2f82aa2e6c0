#include "app/startup/AppState.h"

#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/startup/SettingsMigrations.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/ZKApp.h"
#include "libraries/defaults/Defaults.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"

#include <QMetaMethod>

namespace kiruvo {

namespace {

AppState::MenuBarControllerFactory& menuBarControllerFactory()
{
    static AppState::MenuBarControllerFactory factory;
    return factory;
}

void logOnce(bool& logged, std::string_view message)
{
    if (!logged) {
        logged = true;
        platform::log(platform::LogLevel::Warning, platform::lcStartup(), message);
    }
}

} // namespace

AppState& AppState::shared()
{
    static AppState* instance = new AppState();
    return *instance;
}

AppState::AppState(Environment environment)
    : m_environment(std::move(environment))
{
    if (!m_environment.isFirstLaunch) {
        m_environment.isFirstLaunch = [] { return zk::ZKApp::isFirstLaunch(); };
    }
    if (!m_environment.suite) {
        m_environment.suite = platform::UserDefaults::standard();
    }
    if (!m_environment.migrateShowDurationInMenuBarSetting) {
        m_environment.migrateShowDurationInMenuBarSetting
            = [suite = m_environment.suite](bool isFirstLaunch) {
                  SettingsMigrations::migrateShowDurationInMenuBarSetting(isFirstLaunch, suite);
              };
    }
    if (!m_environment.migrateUseSystemNotificationSetting) {
        m_environment.migrateUseSystemNotificationSetting
            = [suite = m_environment.suite](bool isFirstLaunch) {
                  SettingsMigrations::migrateUseSystemNotificationSetting(isFirstLaunch, suite);
              };
    }
    if (!m_environment.sessionController) {
        m_environment.sessionController = []() -> SessionController& { return SessionController::shared(); };
    }

    // A first launch has nothing to migrate, but its flags are consumed all the same, so that the
    // migrations never run later over settings this version wrote itself. The flag is set only once
    // the migration has returned: one that is cut short runs again at the next launch.
    const bool isFirstLaunch = m_environment.isFirstLaunch();
    zk::runOnce(
        showDurationMigrationIdentifier,
        [&] { m_environment.migrateShowDurationInMenuBarSetting(isFirstLaunch); }, m_environment.suite);
    zk::runOnce(
        systemNotificationMigrationIdentifier,
        [&] { m_environment.migrateUseSystemNotificationSetting(isFirstLaunch); }, m_environment.suite);

    platform::MainQueue::post(this, [this] { finishLaunching(); });
}

AppState::~AppState() = default;

MenuBarController* AppState::menuBarController()
{
    if (m_menuBarController) {
        return m_menuBarController.get();
    }
    if (m_isBuildingMenuBarController) {
        static bool logged = false;
        logOnce(logged, "The menu-bar controller was asked for while it is being built");
        return nullptr;
    }
    const auto& factory = menuBarControllerFactory();
    if (!factory) {
        return nullptr;
    }
    m_isBuildingMenuBarController = true;
    try {
        m_menuBarController = factory();
    } catch (...) {
        m_isBuildingMenuBarController = false;
        throw;
    }
    m_isBuildingMenuBarController = false;
    return m_menuBarController.get();
}

void AppState::setMenuBarControllerFactory(MenuBarControllerFactory factory)
{
    menuBarControllerFactory() = std::move(factory);
}

void AppState::finishLaunching()
{
    if (m_hasFinishedLaunching) {
        return;
    }
    m_hasFinishedLaunching = true;

    if (!menuBarController()) {
        trackWithoutMenuBar();
    }
    if (m_environment.isFirstLaunch()) {
        if (isSignalConnected(QMetaMethod::fromSignal(&AppState::firstLaunchFinished))) {
            Q_EMIT firstLaunchFinished();
        } else {
            platform::log(platform::LogLevel::Info, platform::lcStartup(),
                "First launch, but there is no Welcome window to show");
        }
    }
}

void AppState::trackWithoutMenuBar()
{
    static bool logged = false;
    logOnce(logged, "There is no menu-bar controller: tracking runs without a status item");

    SessionController& controller = m_environment.sessionController();
    controller.setEnabled(Defaults::get(Keys::enableAtLaunch()));
    m_isTrackingWithoutMenuBar = true;
}

} // namespace kiruvo
