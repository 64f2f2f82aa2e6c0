#pragma once

#include "app/windows/SettingsEnvironment.h"

#include <QWidget>

namespace Defaults {
class Toggle;
}

namespace kiruvo {

// "Haptic feedback", bound to "notificationHapticFeedback": switching it on performs the reminder's
// haptic feedback once; switching it off only stores false. Under it, which machines have it.
// Main-thread only.
class NotificationHapticFeedbackSetting : public QWidget {
    Q_OBJECT
public:
    explicit NotificationHapticFeedbackSetting(SettingsEnvironment environment, QWidget* parent = nullptr);

    Defaults::Toggle* toggle() const { return m_toggle; }

private:
    SettingsEnvironment m_environment;
    Defaults::Toggle* m_toggle = nullptr;
};

} // namespace kiruvo
