#include "app/windows/NotificationHapticFeedbackSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/windows/SecondaryText.h"
#include "libraries/defaults/Toggle.h"
#include "platform/MainQueue.h"

#include <QVBoxLayout>

namespace kiruvo {

NotificationHapticFeedbackSetting::NotificationHapticFeedbackSetting(
    SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(std::move(environment))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_toggle
        = new Defaults::Toggle(QStringLiteral("Haptic feedback"), Keys::notificationHapticFeedback(), this);
    m_toggle->onChange([this](bool isOn) {
        if (!isOn) {
            return;
        }
        // The engine exists before the feedback runs, on a later turn, as a reminder's would.
        m_environment.session();
        const SettingsEnvironment environment = m_environment;
        platform::MainQueue::post([environment] { environment.hapticFeedback(); });
    });
    layout->addWidget(m_toggle);
    layout->addWidget(secondaryText(tr("Only for Macs with Force Touch"), this));
}

} // namespace kiruvo
