#include "app/startup/AppMain.h"

#include "app/engine/SessionController.h"
#include "app/intents/IntentsDBusAdaptor.h"
#include "app/menubar/MenuBarController.h"
#include "app/reminders/ReminderDelivery.h"
#include "app/startup/AppState.h"
#include "app/startup/ApplicationDBusService.h"
#include "app/startup/SettingsMigrations.h"
#include "app/windows/HistoryWindowController.h"
#include "app/windows/SettingsWindowController.h"
#include "app/windows/WelcomeWindowController.h"
#include "kit/diagnostics/DebugSwitches.h"
#include "kit/diagnostics/Diagnostics.h"
#include "kit/diagnostics/UserDebugWindowController.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/Relaunch.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/ZKKit.h"
#include "kit/interface/Accessibility.h"
#include "kit/interface/AnimationDriver.h"
#include "kit/interface/TextEditingKeyEquivalents.h"
#include "kit/interface/WindowInFront.h"
#include "libraries/launch-at-login/LaunchAtLogin.h"
#include "platform/ErrorReporter.h"
#include "platform/FreedMemory.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/async/TaskHandle.h"
#include "platform/desktop/ReduceMotion.h"
#include "platform/desktop/SystemEvents.h"
#include "platform/linux/BusDaemon.h"
#include "platform/linux/BusLossWatch.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"

#include <QApplication>
#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QIcon>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace kiruvo {

namespace {

// Long enough for the history's first decode and the first drawing of the status item.
constexpr std::chrono::seconds startUpSettlingTime { 10 };

void tellUserOnStandardError(const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Shown once the event loop runs.
void alertThatTheHistoryIsNotKept(const std::string& message)
{
    QTimer::singleShot(0, [message] {
        zk::AlertDescription description;
        description.title = "Kiruvo cannot keep your history";
        description.message = message;
        zk::AlertPresenter::shared().present(zk::makeAlert(description));
    });
}

void keepStoreInMemory(const QString& message)
{
    platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(":memory:"), platform::UserDefaults::standardSuiteName));
    alertThatTheHistoryIsNotKept(message.toStdString());
}

// The settings database could not be used (another program's file, a damaged file that could not
// be moved aside): the store fell back to memory, which the user must know.
void tellIfTheStoreFellBackToMemory()
{
    const std::string reason = platform::UserDefaults::standard()->unavailableReason();
    if (reason.empty()) {
        return;
    }
    alertThatTheHistoryIsNotKept(
        reason + " Kiruvo runs with its settings in memory: your sessions will not be kept after it quits.");
}

void markCleanExit()
{
    platform::ErrorReporter::shared().markCleanExit();
}

// Every subscriber of will-terminate has run by now (the session is stored). The store is closed
// here, not left to whoever holds it last: closing copies the write-ahead log into the one file the
// user knows, defaults.sqlite3, and removes the log.
void endRun()
{
    platform::UserDefaults::standard()->close();
    markCleanExit();
}

// Runs `work` on Qt's thread pool once the start-up work queued on the main thread (the menu bar's
// creation) and what that queued in turn have run. Decoding the stored history alongside that work
// slowed start-up itself (the process's memory and the machine's cores are shared), so the history
// worker waits for it. Until the history is in place a status item showing today's total waits for
// it, and whatever else needs the history decodes it at once.
void startAfterStartUpWork(std::function<void()> work)
{
    // Start-up work is the application's own.
    auto* app = QCoreApplication::instance();
    platform::MainQueue::post(app, [app, work = std::move(work)]() mutable {
        platform::MainQueue::post(app,
            [work = std::move(work)]() mutable { QThreadPool::globalInstance()->start(std::move(work)); });
    });
}

void runStep(const std::function<void()>& step, const std::function<void()>& fallback)
{
    if (step) {
        step();
    } else {
        fallback();
    }
}

} // namespace

AppMain::Arguments AppMain::parseArguments(const QStringList& arguments)
{
    Arguments parsed;
    // The first entry is the program itself.
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        if (arguments[index] == QLatin1String(zk::waitForInstanceLockArgument)) {
            parsed.waitForInstanceLock = true;
        }
    }
    return parsed;
}

namespace {

QCoro::Task<bool> isNameTakenOnBus(const AppMain::InstanceEnvironment& environment)
{
    if (environment.isNameTakenOnBus) {
        co_return co_await environment.isNameTakenOnBus();
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        co_return false;
    }
    const QString name = QString::fromLatin1(ApplicationDBusService::serviceName);
    const QDBusMessage question = platform::busDaemonCall(QStringLiteral("NameHasOwner"), { name });
    const QDBusMessage reply = co_await bus.asyncCall(question);
    const bool owned = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    co_return owned;
}

// The lock file cannot be made (a read-only folder, a full disk): no instance holds it, so only the
// bus can tell whether another runs.
QCoro::Task<bool> runsWithoutLock(SingleInstance& instance, const AppMain::InstanceEnvironment& environment,
    const std::function<void(const QString&)>& tellUser)
{
    if (instance.isHeldElsewhere() || co_await isNameTakenOnBus(environment)) {
        co_return false;
    }
    const QString message = QStringLiteral(
        "Kiruvo cannot create its lock file (%1), so it cannot use its settings database safely. It "
        "runs with its settings in memory: your sessions will not be kept after it quits.")
                                .arg(instance.lastFailure());
    platform::log(platform::LogLevel::Error, platform::lcStartup(), message.toStdString());
    tellUser(message);
    if (environment.keepStoreInMemory) {
        environment.keepStoreInMemory(message);
    } else {
        keepStoreInMemory(message);
    }
    co_return true;
}

} // namespace

QCoro::Task<std::optional<int>> AppMain::claimInstance(
    SingleInstance& instance, Arguments arguments, InstanceEnvironment environment)
{
    const std::function<void(const QString&)> tellUser = [&environment](const QString& message) {
        if (environment.tellUser) {
            environment.tellUser(message);
        } else {
            tellUserOnStandardError(message);
        }
    };

    if (arguments.waitForInstanceLock) {
        // A relaunch waits once: when start-up waited already, before it opened the settings, the
        // old instance had its time, and one more try is all it gets.
        const bool held
            = instance.lastWait() ? instance.tryAcquire() : instance.acquireWaiting(environment.wait);
        if (held || co_await runsWithoutLock(instance, environment, tellUser)) {
            co_return std::nullopt;
        }
        const auto waited
            = std::chrono::duration<double>(instance.lastWait().value_or(SingleInstance::Clock::duration {}));
        const QString message = QStringLiteral(
            "Kiruvo: the previous instance has not ended after %1 s of waiting (%2); this one exits.")
                                    .arg(QString::number(waited.count(), 'f', 1))
                                    .arg(instance.lastFailure());
        platform::log(platform::LogLevel::Error, platform::lcStartup(), message.toStdString());
        tellUser(message);
        co_return 1;
    }

    if (instance.tryAcquire()) {
        if (!co_await isNameTakenOnBus(environment)) {
            co_return std::nullopt;
        }
        // Another instance of this user's runs in this session over another settings database.
        instance.release();
        platform::log(platform::LogLevel::Info, platform::lcStartup(),
            "Kiruvo already runs in this session with other settings; handing over to it");
    } else if (co_await runsWithoutLock(instance, environment, tellUser)) {
        co_return std::nullopt;
    }
    QString error;
    const bool answered = environment.requestOpenMenu
        ? co_await environment.requestOpenMenu(&error)
        : co_await ApplicationDBusService::requestOpenMenu(QDBusConnection::sessionBus(), &error);
    if (!answered) {
        tellUser(
            QStringLiteral("Kiruvo is already running (%1), but it could not be asked to open its menu: %2")
                .arg(instance.lastFailure(), error));
    }
    co_return 0;
}

void AppMain::installSettingsWindow(ReminderDelivery* reminderDelivery)
{
    // "Settings…", Ctrl+, and a relaunch that asks for Settings all come through the kit's opener.
    zk::SettingsWindowOpener::setOpener([] { SettingsWindowController::show(); });
    // The missing-permission alert sends the user to the setting that caused it.
    ReminderDelivery& delivery = reminderDelivery ? *reminderDelivery : ReminderDelivery::shared();
    QObject::connect(&delivery, &ReminderDelivery::notificationSettingsRequested, &delivery,
        [] { SettingsWindowController::show(SettingsScreen::Tab::notifications); });
}

void AppMain::installWelcomeWindow(AppState& state)
{
    WelcomeScreen::Environment environment;
    environment.statusBarButton = []() -> platform::StatusItem* {
        MenuBarController* controller = AppState::shared().menuBarController();
        return controller ? &controller->statusItem() : nullptr;
    };
    WelcomeWindowController::setEnvironment(std::move(environment));
    QObject::connect(&state, &AppState::firstLaunchFinished, &state, [] {
        // The support window the user held Shift+Ctrl+Alt for stays in front of the greeting, which
        // floats as high and would otherwise cover it.
        if (zk::SingletonWindowController::exists<zk::UserDebugWindowController>()) {
            zk::WindowInFront::keepInFrontOf(
                zk::SingletonWindowController::shared<zk::UserDebugWindowController>().window(),
                zk::SingletonWindowController::shared<WelcomeWindowController>().window());
        }
        zk::SingletonWindowController::show<WelcomeWindowController>(true);
    });
}

AppDelegate& AppMain::appDelegate()
{
    static AppDelegate delegate;
    return delegate;
}

void AppMain::installAppDelegate()
{
    IntentsDBusAdaptor::setHandlerLookup(
        [](const Intent& intent) { return appDelegate().handlerForIntent(intent); });
}

void AppMain::start(const Steps& steps)
{
    runStep(steps.startKit, [] { zk::ZKKit::shared(); });
    runStep(steps.markLaunch, [] {
        platform::ErrorReporter& reporter = platform::ErrorReporter::shared();
        reporter.markLaunch();
        // An exit through ::exit() (the immediate relaunch) ends the run cleanly too. Registered
        // after the reporter exists, so it runs before the reporter is destroyed.
        static bool registered = false;
        if (!registered) {
            registered = true;
            std::atexit(markCleanExit);
        }
    });
    runStep(steps.startSystemEvents, [] {
        platform::SystemEvents& events = platform::SystemEvents::shared();
        // The event loop never returns then (the display went away): the run ends here. Should the
        // process still be running when the event loop next turns, it ends as any quit does rather
        // than running on with its store closed.
        QObject::connect(&events, &platform::SystemEvents::willExitAtOnce, &events, [] {
            endRun();
            if (auto* app = QCoreApplication::instance()) {
                QMetaObject::invokeMethod(
                    app, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
            }
        });
    });
    runStep(steps.migrateLoginItem, [] { LaunchAtLogin::migrateIfNeeded(); });
    runStep(steps.migrateToDefaultsV5, [] { SettingsMigrations::runDefaultsMigration(); });
    runStep(steps.createAppState, [] {
        AppState::setMenuBarControllerFactory(menuBarControllerFactory({}));
        installWelcomeWindow(AppState::shared());
        // Reminders reach the user once the session engine arms its timer.
        ReminderDelivery::install();
        SessionController::shared().history().decodeInBackground(startAfterStartUpWork);
        installSettingsWindow();
    });
    runStep(steps.startDBusService, [] {
        installAppDelegate();
        // Nothing connects again to a bus that is lost: the log says what went with it.
        new platform::BusLossWatch(QDBusConnection::sessionBus(), QCoreApplication::instance());
        // Its outcome is logged; nothing at start waits for the bus's answer.
        platform::async::TaskHandle::start(
            [](std::stop_token) -> QCoro::Task<void> { co_await ApplicationDBusService::start(); });
    });
}

bool AppMain::keepStoreOutUnlessLocked(
    SingleInstance& instance, const Arguments& arguments, const SingleInstance::WaitOptions& wait)
{
    const bool held = arguments.waitForInstanceLock ? instance.acquireWaiting(wait) : instance.tryAcquire();
    // A lock that cannot be made at all is claimInstance()'s to tell.
    if (held || !instance.isHeldElsewhere()) {
        return false;
    }
    platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(":memory:"), platform::UserDefaults::standardSuiteName));
    return true;
}

QCoro::Task<void> AppMain::claimInstanceThenStart(
    SingleInstance& instance, std::optional<int>& handedOver, bool storeKeptOut)
{
    handedOver = co_await claimInstance(instance, parseArguments(QApplication::arguments()));
    if (handedOver) {
        QApplication::exit(*handedOver);
        co_return;
    }
    if (storeKeptOut && instance.isHeld()) {
        // The other instance ended meanwhile: the settings are this one's to open.
        platform::UserDefaults::setStandard(nullptr);
    }
    zk::Diagnostics::install();
    platform::ReduceMotion::startFollowing();
    start();
    // Settings and the history another program changes (the sqlite3 tool, a sync tool) take
    // effect at once, as the user's own do.
    platform::UserDefaults::standard()->hearOtherPrograms();
    tellIfTheStoreFellBackToMemory();
    // Start-up reads, checks and decodes the whole store and draws the first status item; the
    // heap it left free in between what stays would otherwise be kept for the process's life.
    QTimer::singleShot(startUpSettlingTime, [] { platform::releaseFreedMemory(); });
}

AppState::MenuBarControllerFactory AppMain::menuBarControllerFactory(MenuBarWiring wiring)
{
    return [wiring = std::move(wiring)]() -> std::shared_ptr<MenuBarController> {
        MenuBarController::Environment environment;
        environment.makeStatusItemBackend = wiring.makeStatusItemBackend;
        environment.sessionController = wiring.sessionController;
        if (wiring.noTrayGracePeriod) {
            environment.noTrayGracePeriod = *wiring.noTrayGracePeriod;
        }
        auto controller = std::make_shared<MenuBarController>(std::move(environment));
        const std::weak_ptr<MenuBarController> weak = controller;
        ReminderDelivery& delivery
            = wiring.reminderDelivery ? *wiring.reminderDelivery : ReminderDelivery::shared();
        MenuBarController* menuBar = controller.get();
        QObject::connect(&delivery, &ReminderDelivery::showingChanged, menuBar, &MenuBarController::update);
        delivery.setStatusItem(&menuBar->statusItem());
        QObject::connect(&delivery, &ReminderDelivery::shakeRequested, menuBar,
            [menuBar] { menuBar->statusItem().shake(0.3, 5.0, true); });
        ApplicationDBusService::setOpenMenuHandler([weak] {
            if (const auto alive = weak.lock()) {
                alive->showMenu();
            }
        });
        // A tray application has no main menu: the status menu is not registered as one, so the
        // kit adds no "Debug" menu beside the status menu's own "Debug" command.
        // The status menu's "History…" shows the History window over the same engine.
        HistoryWindowController::setSessionController(&controller->sessionController());
        QObject::connect(menuBar, &MenuBarController::historyWindowRequested, menuBar,
            [] { HistoryWindowController::show(); });
        return controller;
    };
}

void AppMain::prepareToolkit()
{
    // The toolkit's debug switches are read when Qt starts.
    zk::DebugSwitches::applyBeforeApplication();
    // The windows are small and animate in small areas: over X11, drawing through shared memory
    // would wake two threads for every frame to hear that the server has read it, where a plain
    // copy down the socket wakes none. A value set by the user wins.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
}

int AppMain::run(int argc, char** argv)
{
    platform::shareOneHeapBetweenThreads();
    platform::ignoreBrokenPipes();
    // A write past a limit on the size of files (RLIMIT_FSIZE) fails with EFBIG, as on a full disk,
    // rather than ending the process by SIGXFSZ with the running session unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before anything opens the settings: an opening puts into the file what a run before kept
    // while another program held it, start-up keys among them.
    zk::ZKKit::joinStartUpKeysWrittenBeforeTheStoreOpens();
    SessionHistory::joinHistoriesWrittenBeforeTheStoreOpens();
    SingleInstance instance;
    QStringList arguments;
    for (int index = 0; index < argc; ++index) {
        arguments.push_back(QString::fromLocal8Bit(argv[index]));
    }
    const bool storeKeptOut = keepStoreOutUnlessLocked(instance, parseArguments(arguments));
    prepareToolkit();
    QApplication app(argc, argv);
    zk::DebugSwitches::applyToApplication(app);
    QApplication::setApplicationName(QString::fromStdString(zk::ZKApp::name()));
    QApplication::setOrganizationName(QStringLiteral("Zelvantorium"));
    QApplication::setOrganizationDomain(QStringLiteral("zelvantorium.com"));
    QApplication::setApplicationVersion(QString::fromStdString(zk::ZKApp::version()));
    QGuiApplication::setDesktopFileName(QString::fromStdString(zk::ZKApp::bundleIdentifier()));
    // The icon of the alerts and windows; the installed theme icon when there is one.
    QApplication::setWindowIcon(QIcon::fromTheme(
        QString::fromStdString(zk::ZKApp::bundleIdentifier()), QIcon(QStringLiteral(":/images/kiruvo.svg"))));
    // A tray application lives on with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    // Fades and other animations move at the screen's refresh rate or less.
    zk::AnimationDriver::installForApplication();
    // No main menu supplies the editing keys to our text fields: the kit does.
    zk::TextEditingKeyEquivalents::install();
    // Windows are windows and pop-ups are known by their labels to screen readers.
    zk::installAccessibility();

    // Whether another instance runs is known only once the bus answers: the event loop runs
    // meanwhile, and start-up goes on from the answer, so nothing is shown before it.
    std::optional<int> handedOver;
    platform::async::TaskHandle::start([&instance, &handedOver, storeKeptOut](std::stop_token) {
        return claimInstanceThenStart(instance, handedOver, storeKeptOut);
    });
    const int status = QApplication::exec();
    if (handedOver) {
        return *handedOver;
    }
    endRun();
    return status;
}

} // namespace kiruvo
