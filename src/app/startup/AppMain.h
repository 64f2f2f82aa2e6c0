#pragma once

#include "app/startup/AppDelegate.h"
#include "app/startup/AppState.h"
#include "app/startup/SingleInstance.h"
#include "platform/desktop/StatusItem.h"

#include <QString>
#include <QStringList>
#include <qcoro/qcorofwd.h>

#include <functional>
#include <memory>
#include <optional>

namespace kiruvo {

class ReminderDelivery;
class SessionController;

// The application: the process entry's only business.
//
// run() builds the QApplication (which stays alive with no window open), makes sure this is the
// only instance of the user's, runs the start-up steps in their fixed order and then the event
// loop:
// 1. the kit (launch count, registered defaults, first-launch facts, its queued start-up work);
// 2. the error reporter notes this launch (and whether the last run ended without a clean exit);
// 3. the system events (sleep, wake, the end of the application) start listening;
// 4. the login-item migration (the move from earlier versions' login item, once), on every launch;
// 5. the one-time conversion of the settings stored in JSON text ("migrateToDefaultsv5"), skipped on
//    the first launch;
// 6. the application state (the two run-once settings migrations, and the queued creation of the
//    menu-bar controller in the desktop's tray and, on the first launch, the Welcome window), then
//    the reminders' delivery, and the session engine's decode of the stored history on another
//    thread, which starts once the start-up work queued on the main thread has run (a first draw
//    that needs the history waits for it; the event loop does not);
// 7. the service on the session bus (OpenMenu and scripting).
// So every migration has finished before the menu-bar controller and the session engine exist.
//
// At the end the session engine stores the running session (it follows will-terminate itself) and
// the error reporter notes the clean exit.
//
// Main-thread only.
class AppMain {
public:
    struct Arguments {
        // Started by a relaunch: wait for the old instance to let go of the lock.
        bool waitForInstanceLock = false;
    };
    static Arguments parseArguments(const QStringList& arguments);

    // The start-up steps, in the order they run; an empty step is the application's own.
    struct Steps {
        std::function<void()> startKit;
        std::function<void()> markLaunch;
        std::function<void()> startSystemEvents;
        std::function<void()> migrateLoginItem;
        std::function<void()> migrateToDefaultsV5;
        std::function<void()> createAppState;
        std::function<void()> startDBusService;
    };

    // How a launch that finds the lock taken goes on.
    struct InstanceEnvironment {
        SingleInstance::WaitOptions wait;
        // Asks the running instance to open its menu; false with the reason when it did not answer.
        // Empty: over the session bus.
        std::function<QCoro::Task<bool>(QString* errorText)> requestOpenMenu;
        // Tells the user (standard error when empty).
        std::function<void(const QString& message)> tellUser;
        // Whether another process holds the application's name on the session bus. Empty: asks the
        // session bus (no bus: nobody does).
        std::function<QCoro::Task<bool>()> isNameTakenOnBus;
        // Puts the settings store in memory, for a launch that cannot make its lock file; the
        // message says why the history will not be kept. Empty: the standard suite moves to a
        // database in memory and the message is also shown in an alert once the application runs.
        std::function<void(const QString& message)> keepStoreInMemory;
    };

    // One instance per user and session: the bus name decides, the lock file guards the database.
    // A plain launch hands over to the running instance when the lock is taken or, with the lock
    // of another settings database (another XDG_DATA_HOME), when the bus name is.
    // Takes the single-instance lock; the bus is asked without waiting, so the answer comes while
    // the event loop runs. Nothing when this process is the application and goes on;
    // otherwise the exit status: 0 after a plain launch has handed over to the running instance
    // (also when it did not answer: the user has been told), 1 when a relaunched instance gave up
    // waiting for the old one. A lock file that cannot be made at all is no sign of another
    // instance: unless one owns the name on the session bus, this one goes on with its store in
    // memory and the user is told that the history will not be kept.
    static QCoro::Task<std::optional<int>> claimInstance(
        SingleInstance& instance, Arguments arguments, InstanceEnvironment environment = {});

    // What the status item is drawn by and whom it serves; an empty member is the application's own
    // (the desktop's tray, SessionController::shared(), ReminderDelivery::shared()).
    struct MenuBarWiring {
        std::function<std::unique_ptr<platform::StatusItemBackend>()> makeStatusItemBackend;
        SessionController* sessionController = nullptr;
        ReminderDelivery* reminderDelivery = nullptr;
        // Seconds the desktop has to bring up its tray before the user is told there is none.
        // Empty: the controller's own.
        std::optional<double> noTrayGracePeriod;
    };

    // Builds the menu-bar controller and connects it: the session engine's and the reminders'
    // redraws go to its update(), the reminders find and shake its status item, a second launch's
    // OpenMenu opens its menu, its menu stands for the application's main menu, and its "History…"
    // shows the History window over the same engine.
    static AppState::MenuBarControllerFactory menuBarControllerFactory(MenuBarWiring wiring);

    // Makes the first launch of `state` show the Welcome window, which flies into the menu-bar
    // controller's status item.
    static void installWelcomeWindow(AppState& state);

    // Makes the Settings window what the kit's settings opener opens, and what the reminders'
    // "Open Kiruvo Settings" opens (on its Notifications tab). An empty delivery is the application's.
    static void installSettingsWindow(ReminderDelivery* reminderDelivery = nullptr);

    // The application's delegate, made once, and made the one the scripting calls get their
    // handlers from.
    static AppDelegate& appDelegate();
    static void installAppDelegate();

    // Runs the start-up steps. The lock must be held.
    static void start(const Steps& steps = {});

    // Decides whether this process is the application and, when it is, runs the start-up; when it
    // is not, `handedOver` is its exit status and the event loop ends with it.
    // `storeKeptOut`: keepStoreOutUnlessLocked() found the lock held by another instance.
    static QCoro::Task<void> claimInstanceThenStart(
        SingleInstance& instance, std::optional<int>& handedOver, bool storeKeptOut = false);

    // Takes the lock before anything reads a setting (a relaunch waits for it): only the instance
    // that holds it may open the settings from their file, as an opening puts into the file what
    // waits in the pending file, the running instance's own, and another name of the file (a hard
    // link) has a write-ahead log of its own. When another instance holds it, the settings of this
    // process stay in memory and true is returned; should the lock be this process's after all once
    // the bus has answered, claimInstanceThenStart() opens them from the file. A relaunch's wait
    // for the lock is made here, once: claimInstance() then only tries once more.
    static bool keepStoreOutUnlessLocked(
        SingleInstance& instance, const Arguments& arguments, const SingleInstance::WaitOptions& wait = {});

    // What the toolkit must be told before the QApplication exists (run() calls it first).
    static void prepareToolkit();

    // The whole process: returns its exit status.
    static int run(int argc, char** argv);
};

} // namespace kiruvo
