#pragma once

#include "app/reminders/ShortcutsApp.h"
#include "kit/foundation/core/MacSystemSound.h"

#include <QCoro/QCoroTask>

#include <functional>
#include <vector>

namespace kiruvo {

class SessionController;

// What the Settings window's panes reach outside the store: the session engine whose reminder
// road the previews run, and the desktop's sound and notification settings. An empty
// member is the application's own. Main-thread only.
struct SettingsEnvironment {
    SessionController* sessionController = nullptr;
    std::function<void(zk::MacSystemSound)> playSound;
    std::function<void()> openNotificationSettings;
    // Lists the user's scripts (ShortcutsApp::shortcuts).
    std::function<QCoro::Task<std::vector<ShortcutsApp::Shortcut>>()> listShortcuts;

    // The engine: the given one, or SessionController::shared() (created when needed).
    SessionController& session() const;
    void play(zk::MacSystemSound sound) const;
    void notificationSettings() const;
    QCoro::Task<std::vector<ShortcutsApp::Shortcut>> shortcuts() const;
};

} // namespace kiruvo
