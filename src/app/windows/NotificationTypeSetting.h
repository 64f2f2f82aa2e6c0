#pragma once

#include "app/engine/NotificationType.h"
#include "app/windows/SettingsEnvironment.h"
#include "kit/interface/PickerBinding.h"

#include <QWidget>

class QPushButton;

namespace zk {
class HideableInfoBox;
class Picker;
} // namespace zk

namespace kiruvo {

// "Type:" as radio buttons over the reminder types, bound to "notificationType". Every change of
// the type shows one reminder of it at once, reporting the current interval (0 with none);
// "Customize…" beside the system-notification row opens the desktop's notification settings.
// Under it, the box that explains the types until the user hides it. Main-thread only.
class NotificationTypeSetting : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* infoBoxIdentifier = "settingsNotificationTypeDescription7";
    static constexpr const char* infoBoxMessage
        = "The benefit of the popover is that it shows even when “Do Not Disturb” is enabled. The benefit of "
          "the notification is that it can be configured to not automatically dismiss. The benefit of the "
          "HUD "
          "is that it's hard to miss since it shows up centered on all your screens.";

    explicit NotificationTypeSetting(SettingsEnvironment environment, QWidget* parent = nullptr);

    // The row text of a type ("Menu bar icon only").
    static QString title(NotificationType type);

    zk::Picker* picker() const { return m_picker; }
    QPushButton* customizeButton() const { return m_customize; }
    zk::HideableInfoBox* infoBox() const { return m_infoBox; }

private:
    void typeDidChange(NotificationType type);

    SettingsEnvironment m_environment;
    zk::Picker* m_picker = nullptr;
    zk::PickerBinding<NotificationType>* m_binding = nullptr;
    QPushButton* m_customize = nullptr;
    zk::HideableInfoBox* m_infoBox = nullptr;
};

} // namespace kiruvo
