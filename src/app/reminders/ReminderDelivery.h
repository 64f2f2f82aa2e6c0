#pragma once

#include "kit/foundation/core/Duration.h"
#include "kit/foundation/core/MacSystemSound.h"
#include "kit/interface/Tooltip.h"
#include "platform/Uuid.h"
#include "platform/async/TaskHandle.h"
#include "platform/combine/Scheduler.h"

#include <QCoro/QCoroTask>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace platform {
class StatusItem;
}

namespace kiruvo {

class SessionController;
class SystemNotificationReminder;

// Delivers the reminders that the session engine hands over: while one is shown the engine's
// isShowingNotification is true and the status item takes its reminder tint. By
// "notificationType":
// - popover, systemNotification, menuBarIconOnly: the status item is shaken four times, 0.6 s
//   apart; then the sound, haptic feedback and the chosen script start, and the popover under the
//   status item is shown for 8 s, or the desktop notification is posted, or nothing more; the tint
//   ends with the popover, or right after the shakes;
// - hud: sound, haptic feedback and script at once, the heads-up window on every screen, and after
//   4 s the windows close and the tint ends.
//
// The tint always ends with the reminder that set it: also when a step fails, when the type
// changes to hud during the shakes, and when a newer reminder takes over (the older one is then
// cancelled, closes what it showed, and leaves the tint to the newer one).
//
// Main-thread only.
class ReminderDelivery : public QObject {
    Q_OBJECT
public:
    static constexpr int shakeCount = 4;
    static constexpr double shakePause = 0.6;
    static constexpr double popoverLifetime = 8.0;
    static constexpr double headsUpLifetime = 4.0;
    static constexpr double hapticInterval = 0.1;
    static constexpr int hapticTicksPerSeries = 7; // one every 0.1 s for 0.7 s
    static constexpr double hapticPause = 0.5;
    static constexpr const char* popoverIdentifier = "statusBarButtonWelcomePopover";

    // What a reminder uses of the rest of the system; tests replace them. An empty member uses the
    // real service.
    struct Services {
        std::function<void(zk::MacSystemSound)> playSound;
        // One tick of haptic feedback. Empty (also by default): Linux desktops have no haptic
        // device, and a reminder then runs no haptic pattern at all.
        std::function<void()> hapticFeedback;
        // Runs the script with this identifier with no input.
        std::function<QCoro::Task<void>(platform::Uuid)> runShortcut;
        // Posts the desktop notification titled with the reminder text.
        std::function<QCoro::Task<void>(std::string title, std::stop_token)> showSystemNotification;
        std::function<void(zk::Duration)> showHeadsUp;
        std::function<void()> closeHeadsUp;
    };

    explicit ReminderDelivery(SessionController& controller,
        platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main(),
        Services services = {});
    ~ReminderDelivery() override;

    // The application's delivery, over SessionController::shared().
    static ReminderDelivery& shared();
    // Hands the application's reminders to shared(): called once at start-up.
    static void install();
    // Hands the reminders of this delivery's engine to this delivery.
    void attach();

    // The text of the popover and the notification: "You have been active for 1 hour, 5 minutes".
    static std::string reminderMessage(zk::Duration duration);

    // Delivers one reminder for a session that has run for `duration`; returns at once. Also the
    // Settings window's preview.
    void notify(zk::Duration duration);
    // Two series of haptic ticks, 0.1 s apart for 0.7 s, with 0.5 s between them; cancelling the
    // task ends the pattern. Without a haptic device only a note in the debug log, and a finished
    // task. Also the Settings window's preview.
    platform::async::TaskHandle performHapticFeedback();

    // The status item the popover hangs from, given by the tray once it exists; without one (or
    // once it is destroyed) the popover is skipped, and logged.
    void setStatusItem(platform::StatusItem* statusItem);

    // The popover on screen, if any.
    zk::Tooltip* currentPopover() const { return m_popover.data(); }

Q_SIGNALS:
    // A reminder began or ended being shown: the engine's isShowingNotification changed, and with
    // it the status item's tint.
    void showingChanged(bool showing);
    // One short vertical shake of the status item is due; with nothing connected the shakes only
    // keep their time.
    void shakeRequested();
    // "Open Kiruvo Settings" of the notification's missing-permission alert was chosen: the
    // application shows the Settings window at the notifications.
    void notificationSettingsRequested();

private:
    enum class Road { shaken, headsUp };

    void setShowing(bool showing);
    void performSideEffects();
    void playReminderSound();
    void startShortcutTask();
    void startSystemNotification(zk::Duration duration);
    void showHeadsUp(zk::Duration duration);
    zk::Tooltip* showPopover(zk::Duration duration);

    // A road outlives a delivery destroyed under it: it looks at `self` after every wait. The
    // coroutines take the guard (and the script runner) by plain pointer: the task's body keeps them
    // for as long as it runs, and g++ 12 destroys some by-value coroutine parameters of class type
    // twice.
    using Guard = QPointer<ReminderDelivery>;
    QCoro::Task<void> runRoad(
        const Guard* self, Road road, std::uint64_t number, zk::Duration duration, std::stop_token token);
    QCoro::Task<void> shakenRoad(const Guard* self, zk::Duration duration, std::stop_token token);
    QCoro::Task<void> headsUpRoad(const Guard* self, std::stop_token token);
    QCoro::Task<void> hapticPattern(const Guard* self, std::stop_token token);
    static QCoro::Task<void> runChosenShortcut(
        const Guard* self, const std::function<QCoro::Task<void>(platform::Uuid)>* run);

    SessionController* m_controller;
    platform::combine::Scheduler* m_scheduler;
    Services m_services;
    std::shared_ptr<SystemNotificationReminder> m_notificationReminder;
    QPointer<platform::StatusItem> m_statusItem;

    platform::async::TaskHandle m_road;
    std::uint64_t m_roadNumber = 0;
    std::vector<platform::async::TaskHandle> m_hapticTasks;
    QPointer<zk::Tooltip> m_popover;
};

} // namespace kiruvo
