#include "app/windows/SettingsEnvironment.h"

#include "app/engine/SessionController.h"
#include "app/reminders/SystemNotificationReminder.h"
#include "app/reminders/SystemSoundPlayer.h"
#include "kit/foundation/SystemSettings.h"

namespace kiruvo {

SessionController& SettingsEnvironment::session() const
{
    return sessionController ? *sessionController : SessionController::shared();
}

void SettingsEnvironment::play(zk::MacSystemSound sound) const
{
    if (playSound) {
        playSound(sound);
    } else {
        playSystemSound(sound);
    }
}

void SettingsEnvironment::notificationSettings() const
{
    if (openNotificationSettings) {
        openNotificationSettings();
    } else {
        zk::openSystemSettingsPaneOrTell(zk::SystemSettingsPane::notifications);
    }
}

} // namespace kiruvo

namespace kiruvo {

QCoro::Task<std::vector<ShortcutsApp::Shortcut>> SettingsEnvironment::shortcuts() const
{
    if (listShortcuts) {
        return listShortcuts();
    }
    return ShortcutsApp::shortcuts();
}

} // namespace kiruvo
