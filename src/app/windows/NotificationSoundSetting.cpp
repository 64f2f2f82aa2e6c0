#include "app/windows/NotificationSoundSetting.h"

#include "app/engine/SettingsKeys.h"

namespace kiruvo {

NotificationSoundSetting::NotificationSoundSetting(SettingsEnvironment environment, QWidget* parent)
    : zk::Picker(tr("Sound:"), Style::menu, parent)
    , m_environment(std::move(environment))
{
    std::vector<std::optional<zk::MacSystemSound>> tags;
    addRow({ tr("None"), {} });
    tags.emplace_back(std::nullopt);
    addSeparator();
    for (const zk::MacSystemSound sound : zk::allMacSystemSounds) {
        // The row text is the sound's stored name.
        addRow({ QString::fromLatin1(
                     zk::rawValue(sound).data(), static_cast<qsizetype>(zk::rawValue(sound).size())),
            {} });
        tags.emplace_back(sound);
    }
    m_binding = new zk::PickerBinding<std::optional<zk::MacSystemSound>>(
        *this, Keys::notificationSound(), std::move(tags));
    m_binding->onChange([this](const std::optional<zk::MacSystemSound>& sound) {
        if (sound) {
            m_environment.play(*sound);
        }
    });
}

} // namespace kiruvo
