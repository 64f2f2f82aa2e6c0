#include "app/windows/NotificationsSettings.h"

#include "app/engine/SettingsKeys.h"
#include "app/windows/NotificationRunShortcutSetting.h"
#include "app/windows/NotificationSoundSetting.h"
#include "app/windows/NotificationTypeSetting.h"
#include "app/windows/NotifyIntervalSetting.h"

#include <QGraphicsOpacityEffect>
#include <QVBoxLayout>

namespace kiruvo {

NotificationsSettings::NotificationsSettings(SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(24);
    m_interval = new NotifyIntervalSetting(this);
    layout->addWidget(m_interval);

    m_group = new QWidget(this);
    auto* group = new QVBoxLayout(m_group);
    group->setContentsMargins(0, 0, 0, 0);
    m_type = new NotificationTypeSetting(environment, m_group);
    m_sound = new NotificationSoundSetting(environment, m_group);
    group->addWidget(m_type);
    group->addWidget(m_sound);
    m_runShortcut = new NotificationRunShortcutSetting(environment, m_group);
    group->addWidget(m_runShortcut);
    m_groupOpacity = new QGraphicsOpacityEffect(m_group);
    m_group->setGraphicsEffect(m_groupOpacity);
    layout->addWidget(m_group);
    layout->addStretch(1);

    // The group follows the interval's binding, which follows the stored value wherever it changes.
    m_interval->binding().onShow([this](const std::optional<zk::Duration>&) { refreshGroup(); });
}

double NotificationsSettings::groupOpacity() const
{
    return m_groupOpacity->opacity();
}

void NotificationsSettings::refreshGroup()
{
    // The stored value, or the key's default when nothing usable is stored.
    const bool hasInterval = Defaults::get(Keys::notifyInterval()).has_value();
    m_group->setEnabled(hasInterval);
    m_groupOpacity->setOpacity(hasInterval ? 1.0 : 0.5);
}

} // namespace kiruvo
