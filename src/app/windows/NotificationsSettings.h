#pragma once

#include "app/windows/SettingsEnvironment.h"

#include <QWidget>

class QGraphicsOpacityEffect;

namespace Defaults {
class ObservableBase;
}

namespace kiruvo {

class NotificationRunShortcutSetting;
class NotificationSoundSetting;
class NotificationTypeSetting;
class NotifyIntervalSetting;

// The Notifications tab: the reminder interval, then the type, sound, haptic feedback and script to
// run, which are disabled and drawn at half opacity while the interval is Never. Main-thread only.
class NotificationsSettings : public QWidget {
    Q_OBJECT
public:
    explicit NotificationsSettings(SettingsEnvironment environment, QWidget* parent = nullptr);

    NotifyIntervalSetting* intervalSetting() const { return m_interval; }
    QWidget* group() const { return m_group; }
    NotificationTypeSetting* typeSetting() const { return m_type; }
    NotificationSoundSetting* soundSetting() const { return m_sound; }
    NotificationRunShortcutSetting* runShortcutSetting() const { return m_runShortcut; }
    // The group's opacity: 0.5 while disabled.
    double groupOpacity() const;

private:
    void refreshGroup();

    NotifyIntervalSetting* m_interval = nullptr;
    QWidget* m_group = nullptr;
    QGraphicsOpacityEffect* m_groupOpacity = nullptr;
    NotificationTypeSetting* m_type = nullptr;
    NotificationSoundSetting* m_sound = nullptr;
    NotificationRunShortcutSetting* m_runShortcut = nullptr;
};

} // namespace kiruvo
