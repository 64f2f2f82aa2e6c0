#pragma once

#include "app/windows/SettingsEnvironment.h"
#include "kit/foundation/core/MacSystemSound.h"
#include "kit/interface/Picker.h"
#include "kit/interface/PickerBinding.h"

#include <optional>

namespace kiruvo {

// "Sound:": None or one of the fourteen sounds, bound to "notificationSound". Changing to a sound
// plays it once; changing to None plays nothing. Main-thread only.
class NotificationSoundSetting : public zk::Picker {
    Q_OBJECT
public:
    explicit NotificationSoundSetting(SettingsEnvironment environment, QWidget* parent = nullptr);

    zk::PickerBinding<std::optional<zk::MacSystemSound>>& binding() const { return *m_binding; }

private:
    SettingsEnvironment m_environment;
    zk::PickerBinding<std::optional<zk::MacSystemSound>>* m_binding;
};

} // namespace kiruvo
