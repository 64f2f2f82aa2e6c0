#include "app/windows/GeneralSettings.h"

#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "app/windows/IdleDurationBeforeStopSetting.h"
#include "app/windows/SecondaryText.h"
#include "libraries/defaults/Toggle.h"
#include "libraries/launch-at-login/Toggle.h"

#include <QFrame>
#include <QVBoxLayout>

namespace kiruvo {

GeneralSettings::GeneralSettings(SessionController& session, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* settings = new QVBoxLayout;
    settings->setContentsMargins(0, 8, 0, 8);
    m_launchAtLogin = new LaunchAtLogin::Toggle(this);
    settings->addWidget(m_launchAtLogin);
    m_enableAtLaunch = new Defaults::Toggle(QStringLiteral("Enable at launch"), Keys::enableAtLaunch(), this);
    m_enableAtLaunch->setToolTip(tr("Automatically enable Kiruvo when launching it."));
    settings->addWidget(m_enableAtLaunch);
    settings->addSpacing(12);
    m_idle = new IdleDurationBeforeStopSetting(this);
    settings->addWidget(m_idle);
    m_idleUnavailable = secondaryText(tr(idleUnavailableText), this);
    settings->addWidget(m_idleUnavailable);
    layout->addLayout(settings);

    m_divider = new QFrame(this);
    m_divider->setFrameShape(QFrame::HLine);
    m_divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(m_divider);

    m_note = secondaryText(tr(idleNote), this);
    layout->addWidget(m_note);

    // Without idle time the note on how idleness is seen would contradict the line above: it goes
    // with its divider, and both come back with an idle service.
    const auto showIdleAvailability = [this](bool available) {
        m_idle->setEnabled(available);
        m_idleUnavailable->setVisible(!available);
        m_divider->setVisible(available);
        m_note->setVisible(available);
    };
    showIdleAvailability(session.isIdleDetectionAvailable());
    connect(&session, &SessionController::idleDetectionAvailabilityChanged, this, showIdleAvailability);
    layout->addStretch(1);
}

} // namespace kiruvo
