#pragma once

#include "platform/combine/Scheduler.h"
#include "platform/desktop/NotificationCenter.h"

#include <QCoro/QCoroTask>
#include <QObject>

#include <stop_token>
#include <string>

namespace kiruvo {

// Delivers a reminder as a desktop notification: the previous reminder's notification is taken
// back, and half a second later the new one appears, so that the desktop lists only the newest.
// Permission is asked at every reminder; without a notification service the user is told in an
// alert that names what to install and offers Kiruvo's own Settings, and the desktop's
// notification settings where this desktop's are known.
//
// Main-thread only.
class SystemNotificationReminder : public QObject {
    Q_OBJECT
public:
    static constexpr double pauseBeforePosting = 0.5;

    static constexpr const char* alertTitle = "Kiruvo cannot show a notification.";
    static constexpr const char* alertMessage
        = "No notification service answers on this desktop. Install and start a notification daemon "
          "(the desktop's own, or one such as dunst or mako), or choose another kind of reminder in "
          "the Kiruvo settings.";
    static constexpr const char* openSystemSettingsTitle = "Open System Settings";
    static constexpr const char* openKiruvoSettingsTitle = "Open Kiruvo Settings";
    static constexpr const char* ignoreTitle = "Ignore";

    // Over the shared notification center, waiting on the main thread's timers.
    SystemNotificationReminder();
    SystemNotificationReminder(platform::NotificationCenter& center, platform::combine::Scheduler& scheduler);

    // Shows `title` (the reminder text) as a notification. A cancelled pause counts as elapsed.
    // A notification that cannot be posted is shown to the user as an error. Never throws.
    QCoro::Task<void> show(std::string title, std::stop_token token = {});

    // The alert for missing permission, and what its buttons do. "Open System Settings" is offered
    // only where the desktop's notification settings are known.
    QCoro::Task<void> showNotificationPermissionAlert();

Q_SIGNALS:
    // "Open Kiruvo Settings" was chosen, and the alert has closed. With nothing connected the kit's
    // opening of the Settings window (zk::openSettingsWindow) runs instead.
    void settingsWindowRequested();

private:
    platform::NotificationCenter* m_center;
    platform::combine::Scheduler* m_scheduler;
};

} // namespace kiruvo
