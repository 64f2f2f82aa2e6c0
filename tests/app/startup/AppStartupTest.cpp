#include "app/SessionEngineFixture.h"

#include "app/intents/FakeSessionEngine.h"
#include "app/intents/IntentHandlerLookup.h"
#include "app/intents/IntentHandlers.h"
#include "app/intents/Intents.h"
#include "app/intents/IntentsDBusAdaptor.h"
#include "app/menubar/MenuBarController.h"
#include "app/reminders/ReminderDelivery.h"
#include "app/startup/AppDelegate.h"
#include "app/startup/AppMain.h"
#include "app/startup/AppState.h"
#include "app/startup/ApplicationDBusService.h"
#include "app/startup/SettingsMigrations.h"
#include "app/windows/HistoryScreen.h"
#include "app/windows/HistoryWindowController.h"
#include "app/windows/WelcomeWindowController.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/ZKKit.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/combine/ManualScheduler.h"
#include "platform/fake/FakeGlobalHotKeys.h"
#include "platform/fake/FakeNotificationCenter.h"
#include "platform/fake/FakeStatusItemBackend.h"
#include "platform/linux/BusCallQueue.h"
#include "platform/time/Date.h"
#include "support/BusCallers.h"
#include "support/OpenboxSession.h"
#include "support/PrivateSessionBus.h"
#include "support/SeparateTestProcess.h"
#include "support/TerminationDelay.h"
#include "support/WindowUnderOpenbox.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPoint>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <X11/keysym.h>

#include <gmock/gmock.h>

using kiruvo::ApplicationDBusService;
using kiruvo::AppMain;
using kiruvo::AppState;
using ::testing::ElementsAre;

namespace {

const std::vector<std::string> migrationIdentifiers
    = { "migrateToDefaultsv5", "migrateShowDurationInMenuBarSetting", "migrateUseSystemNotificationSetting" };

// One launch against the test store, every step recorded as it runs.
class AppStartupTest : public SessionEngineTest {
protected:
    void SetUp() override
    {
        SessionEngineTest::SetUp();
        AppState::setMenuBarControllerFactory([this] {
            steps.push_back("menuBarController");
            if (state) {
                // Built while the controller is being built: must not build another one.
                EXPECT_EQ(state->menuBarController(), nullptr);
            }
            return controllerToken;
        });
    }

    void TearDown() override
    {
        AppState::setMenuBarControllerFactory({});
        state.reset();
        kit.reset();
        SessionEngineTest::TearDown();
    }

    AppMain::Steps recordingSteps()
    {
        AppMain::Steps recorded;
        recorded.startKit = [this] {
            steps.push_back("kit");
            zk::ZKKit::Environment environment;
            environment.suite = store();
            environment.modifiers = [] { return std::uint64_t { 0 }; };
            environment.crashedLastRun = [] { return false; };
            kit = std::make_unique<zk::ZKKit>(environment);
        };
        recorded.markLaunch = [this] {
            steps.push_back("markLaunch");
            m_reporter->markLaunch();
        };
        recorded.startSystemEvents = [this] { steps.push_back("systemEvents"); };
        recorded.migrateLoginItem = [this] { steps.push_back("loginItem"); };
        recorded.migrateToDefaultsV5 = [this] {
            steps.push_back("v5");
            kiruvo::SettingsMigrations::runDefaultsMigration(
                kit->isFirstLaunch(), kiruvo::SettingsMigrations::kitRunOnce(store()), store());
        };
        recorded.createAppState = [this] {
            steps.push_back("appState");
            AppState::Environment environment;
            environment.isFirstLaunch = [this] { return kit->isFirstLaunch(); };
            environment.suite = store();
            environment.migrateShowDurationInMenuBarSetting = [this](bool isFirstLaunch) {
                steps.push_back("showDurationMigration");
                kiruvo::SettingsMigrations::migrateShowDurationInMenuBarSetting(isFirstLaunch, store());
            };
            environment.migrateUseSystemNotificationSetting = [this](bool isFirstLaunch) {
                steps.push_back("systemNotificationMigration");
                kiruvo::SettingsMigrations::migrateUseSystemNotificationSetting(isFirstLaunch, store());
            };
            environment.sessionController = [this]() -> kiruvo::SessionController& { return controller(); };
            state = std::make_unique<AppState>(environment);
            QObject::connect(
                state.get(), &AppState::firstLaunchFinished, [this] { steps.push_back("welcome"); });
            if (installsWelcomeWindow) {
                AppMain::installWelcomeWindow(*state);
            }
        };
        recorded.startDBusService = [this] { steps.push_back("dbus"); };
        return recorded;
    }

    // One launch: the start-up steps, then the event loop's first turns.
    void launch()
    {
        steps.clear();
        state.reset();
        kit.reset();
        AppMain::start(recordingSteps());
        stepsBeforeEventLoop = steps;
        processEvents();
    }

    static std::optional<std::string> storedString(const std::string& key)
    {
        const auto value = store()->objectForKey(key);
        if (!value || !value->isString()) {
            return std::nullopt;
        }
        return *value->getIf<std::string>();
    }

    std::vector<std::string> steps;
    std::vector<std::string> stepsBeforeEventLoop;
    std::unique_ptr<zk::ZKKit> kit;
    std::unique_ptr<AppState> state;
    // Each launch connects the real Welcome window to its state.
    bool installsWelcomeWindow = false;
    // Stands for a built controller; never looked into.
    std::shared_ptr<int> controllerOwner = std::make_shared<int>(0);
    std::shared_ptr<kiruvo::MenuBarController> controllerToken { controllerOwner,
        reinterpret_cast<kiruvo::MenuBarController*>(controllerOwner.get()) };
};

TEST_F(AppStartupTest, FirstLaunchConsumesEveryMigrationFlagChangesNothingAndWelcomesAfterTheMenuBar)
{
    store()->setObject(platform::PropertyList(true), "useSystemNotifications");
    store()->setObject(platform::PropertyList(false), "showDurationInMenuBar");

    launch();

    EXPECT_THAT(stepsBeforeEventLoop,
        ElementsAre("kit", "markLaunch", "systemEvents", "loginItem", "v5", "appState",
            "showDurationMigration", "systemNotificationMigration", "dbus"));
    EXPECT_THAT(steps,
        ElementsAre("kit", "markLaunch", "systemEvents", "loginItem", "v5", "appState",
            "showDurationMigration", "systemNotificationMigration", "dbus", "menuBarController", "welcome"));
    for (const auto& identifier : migrationIdentifiers) {
        EXPECT_TRUE(zk::hasRunOnce(identifier, store())) << identifier;
    }
    EXPECT_NE(storedString("showInMenuBar"), std::optional<std::string>("icon"));
    EXPECT_NE(storedString("notificationType"), std::optional<std::string>("systemNotification"));
    EXPECT_TRUE(state->hasMenuBarController());
    EXPECT_FALSE(state->isTrackingWithoutMenuBar());

    // The second launch: no migration runs again and no Welcome window opens.
    launch();
    EXPECT_THAT(steps,
        ElementsAre(
            "kit", "markLaunch", "systemEvents", "loginItem", "v5", "appState", "dbus", "menuBarController"));
}

TEST_F(AppStartupTest, TheFirstLaunchShowsTheWelcomeWindowAndTheSecondDoesNot)
{
    using kiruvo::WelcomeWindowController;
    using zk::SingletonWindowController;
    installsWelcomeWindow = true;

    launch();

    ASSERT_TRUE(SingletonWindowController::exists<WelcomeWindowController>());
    QWidget* window = SingletonWindowController::shared<WelcomeWindowController>().window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kiruvo"));
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(SingletonWindowController::exists<WelcomeWindowController>());

    launch();

    EXPECT_FALSE(SingletonWindowController::exists<WelcomeWindowController>());
    kiruvo::WelcomeWindowController::setEnvironment({});
}

TEST_F(AppStartupTest, AnUpgradeMigratesEverythingBeforeTheMenuBarExists)
{
    store()->setObject(platform::PropertyList(std::int64_t { 7 }), zk::ZKKit::launchCountKey);
    store()->setObject(platform::PropertyList(std::string("\"totalTodayDuration\"")), "showInMenuBar");
    store()->setObject(platform::PropertyList(std::string("\"hud\"")), "notificationType");
    store()->setObject(platform::PropertyList(true), "useSystemNotifications");

    launch();

    EXPECT_THAT(steps,
        ElementsAre("kit", "markLaunch", "systemEvents", "loginItem", "v5", "appState",
            "showDurationMigration", "systemNotificationMigration", "dbus", "menuBarController"));
    // The text form is converted; the old Boolean, which was set, wins over the converted enum.
    EXPECT_EQ(storedString("showInMenuBar"), std::optional<std::string>("totalTodayDuration"));
    EXPECT_EQ(storedString("notificationType"), std::optional<std::string>("systemNotification"));
    EXPECT_EQ(store()->objectForKey("useSystemNotifications"), platform::PropertyList(true));
    for (const auto& identifier : migrationIdentifiers) {
        EXPECT_TRUE(zk::hasRunOnce(identifier, store())) << identifier;
    }
}

TEST_F(AppStartupTest, AControllerReadBeforeTheQueuedStepIsTheOneKept)
{
    AppMain::start(recordingSteps());
    ASSERT_NE(state, nullptr);
    EXPECT_FALSE(state->hasMenuBarController());
    EXPECT_EQ(state->menuBarController(), controllerToken.get());
    processEvents();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "menuBarController"), 1);
    EXPECT_EQ(state->menuBarController(), controllerToken.get());
    EXPECT_TRUE(state->hasFinishedLaunching());
}

TEST_F(AppStartupTest, WithoutATrayTrackingStillStartsFromEnableAtLaunch)
{
    AppState::setMenuBarControllerFactory({});
    store()->setObject(platform::PropertyList(std::int64_t { 3 }), zk::ZKKit::launchCountKey);

    launch();
    EXPECT_FALSE(state->hasMenuBarController());
    EXPECT_TRUE(state->isTrackingWithoutMenuBar());
    EXPECT_TRUE(controller().isEnabled());
    EXPECT_TRUE(controller().currentSession().has_value());

    // "enableAtLaunch" off: the engine stays off, the idle check still runs.
    m_controller.reset();
    Defaults::set(kiruvo::Keys::enableAtLaunch(), false);
    launch();
    EXPECT_TRUE(state->isTrackingWithoutMenuBar());
    EXPECT_FALSE(controller().isEnabled());
    EXPECT_FALSE(controller().currentSession().has_value());
}

// At the display's end the running session is stored and the store closed, and Qt ends the process
// right after. A process that still runs then (its display connection did not fail after all) ends
// at the next turn of the event loop rather than running on with its store closed. It closes the
// process's store, so it runs in a program of its own.
TEST_F(AppStartupTest, AfterTheDisplaysEndTheApplicationNeverRunsOnWithItsStoreClosed)
{
    if (!SeparateTestProcess::isRunningAlone()) {
        SeparateTestProcess::runCurrentTest();
        return;
    }
    AppMain::Steps steps = recordingSteps();
    steps.startSystemEvents = {};
    AppMain::start(steps);
    processEvents();
    events.exitAtOnce();
    QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });
    EXPECT_EQ(QCoreApplication::exec(), 1);
}

TEST_F(AppStartupTest, AnAppStateGoneBeforeItsQueuedStepLeavesNothingBehind)
{
    AppMain::start(recordingSteps());
    state.reset();
    processEvents();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "menuBarController"), 0);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "welcome"), 0);
}

// The same launches with the application's own menu-bar controller, drawing into a fake tray.
class MenuBarStartupTest : public AppStartupTest {
protected:
    void SetUp() override
    {
        AppStartupTest::SetUp();
        KeyboardShortcuts::resetForTesting();
        platform::NotificationCenter::setShared(&notifications);
        delivery = std::make_unique<kiruvo::ReminderDelivery>(controller(), scheduler);
        AppMain::MenuBarWiring wiring;
        wiring.sessionController = &controller();
        wiring.reminderDelivery = delivery.get();
        wiring.noTrayGracePeriod = 0;
        wiring.makeStatusItemBackend = [this] {
            steps.push_back("menuBarController");
            auto created = std::make_unique<platform::fake::FakeStatusItemBackend>();
            created->setAvailable(trayAvailable);
            backend = created.get();
            return created;
        };
        AppState::setMenuBarControllerFactory(AppMain::menuBarControllerFactory(std::move(wiring)));
    }

    void TearDown() override
    {
        if (state && state->menuBarController()) {
            state->menuBarController()->menu().hide();
        }
        state.reset();
        delivery.reset();
        ApplicationDBusService::setOpenMenuHandler({});
        platform::NotificationCenter::setShared(nullptr);
        KeyboardShortcuts::resetForTesting();
        AppStartupTest::TearDown();
    }

    platform::fake::FakeStatusItemBackend* backend = nullptr;
    bool trayAvailable = true;
    platform::fake::FakeGlobalHotKeys hotKeys;
    platform::fake::FakeNotificationCenter notifications;
    platform::combine::ManualScheduler scheduler;
    std::unique_ptr<kiruvo::ReminderDelivery> delivery;
};

TEST_F(MenuBarStartupTest, AFreshAndAnExistingStoreBothEndWithTheItemDrawnAndTrackingOn)
{
    for (const bool first : { true, false }) {
        launch();
        const std::vector<std::string> expected = first
            ? std::vector<std::string> { "kit", "markLaunch", "systemEvents", "loginItem", "v5", "appState",
                  "showDurationMigration", "systemNotificationMigration", "dbus", "menuBarController",
                  "welcome" }
            : std::vector<std::string> { "kit", "markLaunch", "systemEvents", "loginItem", "v5", "appState",
                  "dbus", "menuBarController" };
        EXPECT_EQ(steps, expected);
        kiruvo::MenuBarController* menuBar = state->menuBarController();
        ASSERT_NE(menuBar, nullptr);
        ASSERT_NE(backend, nullptr);
        EXPECT_FALSE(backend->drawn().empty());
        EXPECT_EQ(&menuBar->statusItem().backend(), backend);
        // The running session's figure is looked at again when its minute changes.
        EXPECT_TRUE(menuBar->nextRedrawAt().has_value());
        // "enableAtLaunch" was applied after the controller existed.
        EXPECT_TRUE(controller().isEnabled());
        EXPECT_TRUE(controller().currentSession().has_value());
        // A tray application has no main menu.
        EXPECT_EQ(zk::ZKApp::mainMenu(), nullptr);
        EXPECT_FALSE(state->isTrackingWithoutMenuBar());
        m_controller.reset();
        delivery = std::make_unique<kiruvo::ReminderDelivery>(controller(), scheduler);
        // The factory keeps the delivery it was given; build it anew over the new engine.
        AppMain::MenuBarWiring wiring;
        wiring.sessionController = &controller();
        wiring.reminderDelivery = delivery.get();
        wiring.makeStatusItemBackend = [this] {
            steps.push_back("menuBarController");
            auto created = std::make_unique<platform::fake::FakeStatusItemBackend>();
            backend = created.get();
            return created;
        };
        AppState::setMenuBarControllerFactory(AppMain::menuBarControllerFactory(std::move(wiring)));
    }
}

// Debug mode is fixed by the keys held when a process first asks: the test runs in a program of its
// own, started as with Shift and Control held.
TEST_F(MenuBarStartupTest, InDebugModeTheMenuHasOneDebugCommandJustBeforeQuit)
{
    if (!SeparateTestProcess::isRunningAlone()) {
        SeparateTestProcess::runCurrentTest();
        return;
    }
    zk::ZKKit::setModifierSource([] { return zk::ModifierFlags::shift | zk::ModifierFlags::control; });
    ASSERT_TRUE(zk::ZKKit::isDebugModifierHeld());
    zk::ZKKit::setModifierSource({});
    launch();
    ASSERT_TRUE(zk::ZKKit::hasFinishedStartup());
    kiruvo::MenuBarController* menuBar = state->menuBarController();
    ASSERT_NE(menuBar, nullptr);
    for (int build = 0; build < 2; ++build) {
        const QList<QAction*> items = menuBar->menu().actions();
        std::vector<qsizetype> debugAt;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i]->text().startsWith(QStringLiteral("Debug"))) {
                debugAt.push_back(i);
            }
        }
        ASSERT_EQ(debugAt.size(), 1u) << build;
        const qsizetype at = debugAt.front();
        EXPECT_EQ(items[at]->menu(), nullptr) << build;
        // More, a separator, Debug, a separator, Quit, and nothing after it.
        ASSERT_GE(at, 2);
        ASSERT_EQ(at + 3, items.size()) << build;
        EXPECT_EQ(items[at - 2]->text(), QStringLiteral("More"));
        EXPECT_TRUE(items[at - 1]->isSeparator());
        EXPECT_TRUE(items[at + 1]->isSeparator());
        EXPECT_EQ(items[at + 2]->text(), QStringLiteral("Quit Kiruvo"));
        menuBar->updateMenu();
        processEvents();
    }
}

TEST_F(MenuBarStartupTest, TheEngineTheRemindersAndASecondLaunchReachTheController)
{
    launch();
    kiruvo::MenuBarController* menuBar = state->menuBarController();
    ASSERT_NE(menuBar, nullptr);

    // Tracking turned off by the engine redraws the item dimmed.
    controller().setEnabled(false);
    EXPECT_TRUE(backend->lastDrawn().dimmed);
    controller().setEnabled(true);
    EXPECT_FALSE(backend->lastDrawn().dimmed);

    // A reminder tints the item at once and shakes it.
    delivery->notify(zk::Duration { 600 });
    EXPECT_EQ(backend->lastDrawn().tint, platform::systemPinkColor());
    processEvents();
    EXPECT_NE(menuBar->statusItem().shakeAnimationForTesting(), nullptr);

    // A second launch's OpenMenu opens the menu.
    EXPECT_FALSE(menuBar->menu().isVisible());
    ApplicationDBusService::openMenu();
    EXPECT_TRUE(menuBar->menu().isVisible());
}

// Under a window manager (openbox), with real keys: the menu that OpenMenu (a tray click, the
// menu's shortcut, a second launch) opens while History's export dialog is up appears and works,
// and its "History…" leaves the dialog, which still blocks History, taking the keys.
TEST_F(MenuBarStartupTest, TheMenuOverHistorysExportDialogWorksAndLeavesTheDialogAnsweringKeys)
{
    if (!OpenboxSession::isChild()) {
        if (!OpenboxSession::isAvailable()) {
            GTEST_SKIP() << "openbox is not installed";
        }
        OpenboxSession::expectCurrentTestReports({ "History active", "dialog active", "menu shown",
            "H: History chosen, dialog active", "typed: x", "Escape: dialog closed" });
        return;
    }
    constexpr int patience = 20000;
    zk::runOnce(kiruvo::HistoryScreen::welcomeMessageIdentifier);
    launch();
    kiruvo::MenuBarController* menuBar = state->menuBarController();
    ASSERT_NE(menuBar, nullptr);
    kiruvo::HistoryWindowController::show();
    auto& history = zk::SingletonWindowController::shared<kiruvo::HistoryWindowController>();
    const QPointer<QWidget> window = history.window();
    OpenboxSession::report(QTest::qWaitFor([&] { return window->isActiveWindow(); }, patience)
            ? "History active"
            : "History inactive");
    history.screen().exportCSV();
    const auto exportDialog = [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); };
    const bool dialogActive
        = QTest::qWaitFor([&] { return exportDialog() && exportDialog()->isActiveWindow(); }, patience);
    OpenboxSession::report(dialogActive ? "dialog active" : "no active dialog");
    if (!dialogActive) {
        return;
    }
    const QPointer<QFileDialog> dialog = exportDialog();

    ApplicationDBusService::openMenu();
    QMenu& menu = menuBar->menu();
    OpenboxSession::report(
        QTest::qWaitFor([&] { return menu.isVisible() && menu.windowHandle()->isExposed(); }, patience)
            ? "menu shown"
            : "no menu");

    WindowUnderOpenbox desktop(*dialog);
    QSignalSpy historyRequests(menuBar, &kiruvo::MenuBarController::historyWindowRequested);
    desktop.user().tap(XK_h);
    const bool chosen
        = QTest::qWaitFor([&] { return !menu.isVisible() && historyRequests.count() == 1; }, patience);
    // History is brought forward on a later turn: then the window manager has its say.
    desktop.settle();
    desktop.settle();
    OpenboxSession::report(std::string("H: ") + (chosen ? "History chosen" : "nothing chosen") + ", "
        + (dialog && dialog->isActiveWindow() ? "dialog active" : "dialog inactive"));
    const QPointer<QLineEdit> name
        = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    ASSERT_NE(name, nullptr);
    // The proposed name is selected: a letter typed takes its place.
    desktop.tap(XK_x);
    OpenboxSession::report("typed: " + (name ? name->text().toStdString() : "(dialog gone)"));
    desktop.tap(XK_Escape);
    OpenboxSession::report(!dialog || !dialog->isVisible() ? "Escape: dialog closed" : "Escape: dialog open");
    if (window) {
        window->close();
    }
}

TEST_F(MenuBarStartupTest, ATrayThatComesUpSoonAfterTheLaunchIsNoCauseToTellTheUser)
{
    trayAvailable = false;
    AppMain::start(recordingSteps());
    // The queued start-up step builds the controller; the panel appears before its grace ends.
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(state->hasMenuBarController());
    backend->setAvailable(true);
    processEvents();
    EXPECT_TRUE(notifications.calls().empty());
    EXPECT_TRUE(controller().currentSession().has_value());
}

TEST_F(MenuBarStartupTest, WithoutATrayTheUserIsToldOnceAndTrackingGoesOn)
{
    trayAvailable = false;
    const KeyboardShortcuts::Shortcut shortcut(
        KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    KeyboardShortcuts::setShortcut(shortcut, kiruvo::ShortcutNames::toggleMenu());
    launch();
    kiruvo::MenuBarController* menuBar = state->menuBarController();
    ASSERT_NE(menuBar, nullptr);
    processEvents();
    ASSERT_EQ(notifications.calls().size(), 1u);
    EXPECT_EQ(notifications.calls().front().summary, "Kiruvo has no place in the panel");
    EXPECT_EQ(
        notifications.calls().front().body, kiruvo::MenuBarController::noTrayMessage(true).toStdString());
    EXPECT_NE(notifications.calls().front().body.find("keyboard shortcut"), std::string::npos);
    // The running session's figure is looked at again when its minute changes.
    EXPECT_TRUE(menuBar->nextRedrawAt().has_value());
    EXPECT_TRUE(controller().currentSession().has_value());
    // The shortcut still opens the menu.
    EXPECT_TRUE(
        hotKeys.press({ *KeyboardShortcuts::Key::k.x11KeyCode(), Qt::ControlModifier | Qt::AltModifier }));
    EXPECT_TRUE(
        hotKeys.release({ *KeyboardShortcuts::Key::k.x11KeyCode(), Qt::ControlModifier | Qt::AltModifier }));
    EXPECT_TRUE(menuBar->menu().isVisible());
}

TEST_F(MenuBarStartupTest, WithoutATrayTheMessageSpeaksOfNoShortcutThatCannotWork)
{
    trayAvailable = false;
    // Recorded, but another application holds the combination.
    const KeyboardShortcuts::Shortcut shortcut(
        KeyboardShortcuts::Key::k, Qt::ControlModifier | Qt::AltModifier);
    hotKeys.heldElsewhere.push_back(
        { *KeyboardShortcuts::Key::k.x11KeyCode(), Qt::ControlModifier | Qt::AltModifier });
    KeyboardShortcuts::setShortcut(shortcut, kiruvo::ShortcutNames::toggleMenu());
    launch();
    processEvents();
    ASSERT_EQ(notifications.calls().size(), 1u);
    EXPECT_EQ(notifications.calls().front().body.find("shortcut"), std::string::npos);
    EXPECT_NE(notifications.calls().front().body.find("D-Bus"), std::string::npos);
}

TEST_F(MenuBarStartupTest, WithoutATrayAndWithoutARecordedShortcutTheMessageNamesOnlyTheBus)
{
    trayAvailable = false;
    launch();
    processEvents();
    ASSERT_EQ(notifications.calls().size(), 1u);
    EXPECT_EQ(
        notifications.calls().front().body, kiruvo::MenuBarController::noTrayMessage(false).toStdString());
    EXPECT_EQ(notifications.calls().front().body.find("shortcut"), std::string::npos);
}

TEST(AppDelegateTest, HandsOutAHandlerForEachScriptingIntentOnly)
{
    const kiruvo::AppDelegate delegate;
    EXPECT_NE(delegate.handlerForIntent(kiruvo::GetEnabledStateIntent {}), nullptr);
    EXPECT_NE(delegate.handlerForIntent(kiruvo::GetTotalDurationTodayIntent {}), nullptr);
    struct OtherIntent final : kiruvo::Intent { };
    EXPECT_EQ(delegate.handlerForIntent(OtherIntent {}), nullptr);
}

TEST(AppDelegateTest, TheApplicationsDelegateHandsOutTheHandlersOfScriptingCalls)
{
    kiruvo::IntentsDBusAdaptor::setHandlerLookup({});
    EXPECT_EQ(kiruvo::IntentsDBusAdaptor::handlerFor(kiruvo::GetEnabledStateIntent {}), nullptr);
    kiruvo::AppMain::installAppDelegate();
    EXPECT_EQ(&kiruvo::AppMain::appDelegate(), &kiruvo::AppMain::appDelegate());
    EXPECT_NE(kiruvo::IntentsDBusAdaptor::handlerFor(kiruvo::GetEnabledStateIntent {}), nullptr);
    struct OtherIntent final : kiruvo::Intent { };
    EXPECT_EQ(kiruvo::IntentsDBusAdaptor::handlerFor(OtherIntent {}), nullptr);
    kiruvo::IntentsDBusAdaptor::setHandlerLookup({});
}

// --- The application on a private session bus

class ApplicationBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
    }

    void TearDown() override
    {
        ApplicationDBusService::setOpenMenuHandler({});
        kiruvo::IntentsDBusAdaptor::setHandlerLookup({});
    }

    QDBusConnection connect(const QString& name) { return m_bus.connect(name); }

    PrivateSessionBus m_bus;
};

TEST_F(ApplicationBusTest, ASecondLaunchReachesOpenMenuAndScriptingSharesTheObject)
{
    QDBusConnection service = connect(QStringLiteral("kiruvo-test-service"));
    ASSERT_TRUE(service.isConnected());
    ASSERT_TRUE(QCoro::waitFor(ApplicationDBusService::start(service)));
    ASSERT_NE(ApplicationDBusService::object(), nullptr);
    EXPECT_EQ(service.objectRegisteredAt(QString::fromLatin1(ApplicationDBusService::objectPath)),
        ApplicationDBusService::object());

    // The second launch asks from the thread that also serves the first: neither waits on the other.
    int opened = 0;
    ApplicationDBusService::setOpenMenuHandler([&] { ++opened; });
    QDBusConnection client = connect(QStringLiteral("kiruvo-test-client"));
    QString error;
    EXPECT_TRUE(QCoro::waitFor(ApplicationDBusService::requestOpenMenu(client, &error)))
        << error.toStdString();
    EXPECT_EQ(opened, 1);

    // Without a handler the call is still answered.
    ApplicationDBusService::setOpenMenuHandler({});
    EXPECT_TRUE(QCoro::waitFor(ApplicationDBusService::requestOpenMenu(client, &error)));

    const QDBusMessage reply = PrivateSessionBus::callServing(client,
        QDBusMessage::createMethodCall(QString::fromLatin1(ApplicationDBusService::serviceName),
            QString::fromLatin1(ApplicationDBusService::objectPath),
            QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
    const QString introspection = reply.arguments().value(0).toString();
    EXPECT_TRUE(introspection.contains(QStringLiteral("com.zelvantorium.Kiruvo.Application")));
    EXPECT_TRUE(introspection.contains(QStringLiteral("com.zelvantorium.Kiruvo.Intents")));

    // Another process on the bus cannot take the name.
    QDBusConnection rival = connect(QStringLiteral("kiruvo-test-rival"));
    EXPECT_FALSE(QCoro::waitFor(ApplicationDBusService::start(rival)));
}

TEST_F(ApplicationBusTest, TheNameIsAskedForWithoutWaitingForTheBus)
{
    QDBusConnection service = connect(QStringLiteral("kiruvo-test-late-service"));
    ASSERT_TRUE(service.isConnected());
    // A bus that answers only later: the service is exported at once, and the name is its own once
    // the answer comes.
    m_bus.pause();
    QCoro::Task<bool> started = ApplicationDBusService::start(service);
    const bool exportedBeforeTheAnswer
        = service.objectRegisteredAt(QString::fromLatin1(ApplicationDBusService::objectPath)) != nullptr;
    m_bus.resume();
    EXPECT_TRUE(exportedBeforeTheAnswer);
    EXPECT_TRUE(QCoro::waitFor(std::move(started)));

    int opened = 0;
    ApplicationDBusService::setOpenMenuHandler([&] { ++opened; });
    QString error;
    EXPECT_TRUE(QCoro::waitFor(
        ApplicationDBusService::requestOpenMenu(connect(QStringLiteral("kiruvo-test-late-client")), &error)))
        << error.toStdString();
    EXPECT_EQ(opened, 1);
}

// A program that sends OpenMenu for two seconds without wanting answers: the calls that come while
// one waits are one with it, so the menu opens a few times rather than once per call, and a SIGTERM
// behind them all is acted on within a second.
TEST_F(ApplicationBusTest, OpenMenusSentWhileOneWaitsAreOneAndKeepNoSignalWaiting)
{
    if (!BusCallers::available()) {
        GTEST_SKIP() << "python3 with its D-Bus module is not available";
    }
    QDBusConnection service = connect(QStringLiteral("kiruvo-test-called-service"));
    ASSERT_TRUE(QCoro::waitFor(ApplicationDBusService::start(service)));
    QMenu menu;
    for (int i = 0; i < 12; ++i) {
        menu.addAction(QStringLiteral("Item %1").arg(i));
    }
    int opened = 0;
    ApplicationDBusService::setOpenMenuHandler([&] {
        ++opened;
        menu.hide();
        menu.popup(QPoint(10, 10));
    });
    BusCallers callers(m_bus.address(),
        { service.baseService(), QString::fromLatin1(ApplicationDBusService::objectPath),
            QString::fromLatin1(ApplicationDBusService::interfaceName), QStringLiteral("OpenMenu"), {},
            true },
        1, 0, 2.0);
    const int sent = callers.serveUntilSent();
    ASSERT_GT(sent, 1000);

    EXPECT_TRUE(terminatesWithinASecond());

    // One that wants its answer, behind all of them.
    QString error;
    EXPECT_TRUE(QCoro::waitFor(ApplicationDBusService::requestOpenMenu(
        connect(QStringLiteral("kiruvo-test-calling-client")), &error, std::chrono::seconds(60))))
        << error.toStdString();
    EXPECT_GE(opened, 1);
    EXPECT_LT(opened, sent / 10);
    menu.hide();
}

// Programs that send GetSessions calls and never read the answers take what the bus holds of the
// application's answers over its share, and another sends GetSessions and OpenMenu with no answer
// wanted and leaves at once: the menu opens all the same, in its turn, and so does every later OpenMenu.
TEST_F(ApplicationBusTest, AnOpenMenuWhoseCallerLeavesAmongCallersThatNeverReadOpensTheMenuAndLaterOnesToo)
{
    if (!BusCallers::available()) {
        GTEST_SKIP() << "python3 with its D-Bus module is not available";
    }
    QDBusConnection service = connect(QStringLiteral("kiruvo-test-unread-service"));
    platform::BusCallQueue::of(service, { 512 * 1024, 64 * 1024 });
    ASSERT_TRUE(QCoro::waitFor(ApplicationDBusService::start(service)));
    FakeSessionEngine engine;
    for (int i = 0; i < 1500; ++i) {
        const platform::Date start = platform::Date(800000000.0 + i * 6000.0);
        engine.sessions.push_back(*kiruvo::Session::make(platform::Uuid::random(), start,
            start.addingTimeInterval(1200), *platform::TimeZone::withIdentifier("Europe/Oslo")));
    }
    kiruvo::IntentsDBusAdaptor::setHandlerLookup(kiruvo::handlerForIntent);
    int opened = 0;
    ApplicationDBusService::setOpenMenuHandler([&] { ++opened; });

    BusCallers::Call getSessions { service.baseService(),
        QString::fromLatin1(ApplicationDBusService::objectPath),
        QString::fromLatin1(kiruvo::IntentsDBusAdaptor::interfaceName), QStringLiteral("GetSessions"), {},
        false };
    {
        BusCallers neverReading(m_bus.address(), getSessions, 4, 63);
        ASSERT_EQ(neverReading.serveUntilSent(), 252);
        // What the bus daemon holds of the application's answers, unread.
        QDBusConnection observer = connect(QStringLiteral("kiruvo-test-observer"));
        const auto unread = [&] {
            QDBusMessage stats = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus.Debug.Stats"),
                QStringLiteral("GetConnectionStats"));
            stats << service.baseService();
            const QDBusMessage reply = PrivateSessionBus::callServing(observer, stats);
            return reply.arguments().isEmpty() ? 0
                                               : qdbus_cast<QVariantMap>(reply.arguments().front())
                                                     .value(QStringLiteral("IncomingBytes"))
                                                     .toLongLong();
        };
        // The share given is reached.
        ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return unread() > 512 * 1024; }, 10000));
        PrivateSessionBus::serveUntil([] { return false; }, 300);
        getSessions.thenLeaveInterface = QString::fromLatin1(ApplicationDBusService::interfaceName);
        getSessions.thenLeaveMethod = QStringLiteral("OpenMenu");
        BusCallers leaving(m_bus.address(), getSessions, 1, 2);
        ASSERT_EQ(leaving.serveUntilSent(), 2);
        EXPECT_TRUE(PrivateSessionBus::serveUntil([&] { return opened == 1; }, 10000));

        QString error;
        EXPECT_TRUE(QCoro::waitFor(ApplicationDBusService::requestOpenMenu(
            connect(QStringLiteral("kiruvo-test-later-client")), &error, std::chrono::seconds(10))))
            << error.toStdString();
        EXPECT_EQ(opened, 2);
    }
    // Nothing of those callers is left waiting once they have gone.
    EXPECT_TRUE(PrivateSessionBus::serveUntil(
        [&] { return platform::BusCallQueue::of(service).waitingCount() == 0; }, 10000));
}

TEST_F(ApplicationBusTest, NoRunningInstanceAnswersAfterTheTimeoutWithAReason)
{
    QDBusConnection client = connect(QStringLiteral("kiruvo-test-lonely-client"));
    ASSERT_TRUE(client.isConnected());
    QString error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(QCoro::waitFor(
        ApplicationDBusService::requestOpenMenu(client, &error, std::chrono::milliseconds(600))));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(error.isEmpty());
}

TEST(ApplicationBusUnavailable, WithoutABusTheApplicationRunsOn)
{
    QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/kiruvo-bus"), QStringLiteral("kiruvo-none"));
    EXPECT_FALSE(QCoro::waitFor(ApplicationDBusService::start(none)));
    QString error;
    EXPECT_FALSE(QCoro::waitFor(
        ApplicationDBusService::requestOpenMenu(none, &error, std::chrono::milliseconds(100))));
    EXPECT_FALSE(error.isEmpty());
    QDBusConnection::disconnectFromBus(QStringLiteral("kiruvo-none"));
}

} // namespace
