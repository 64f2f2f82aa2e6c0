#include "app/windows/NotificationTypeSetting.h"

#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "kit/interface/EnumPicker.h"
#include "kit/interface/HideableInfoBox.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QPushButton>

namespace kiruvo {

QString NotificationTypeSetting::title(NotificationType type)
{
    switch (type) {
    case NotificationType::popover:
        return QStringLiteral("Popover");
    case NotificationType::systemNotification:
        return QStringLiteral("Notification");
    case NotificationType::hud:
        return QStringLiteral("HUD");
    case NotificationType::menuBarIconOnly:
        return QStringLiteral("Tray icon only");
    }
    return {};
}

NotificationTypeSetting::NotificationTypeSetting(SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(std::move(environment))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_picker = new zk::Picker(QStringLiteral("Type:"), zk::Picker::Style::radioGroup, this);
    m_binding = zk::bindEnumPicker(
        *m_picker, allCases<NotificationType>(), Keys::notificationType(), [](NotificationType type, bool) {
            return zk::Picker::Row { title(type), {} };
        });
    m_binding->onChange([this](const NotificationType& type) { typeDidChange(type); });

    // Beside the "Notification" row, shown only while that type is chosen.
    m_customize = new QPushButton(tr("Customize…"), this);
    m_customize->setFlat(false);
    QFont small = m_customize->font();
    small.setPointSizeF(small.pointSizeF() * 11.0 / 13.0);
    m_customize->setFont(small);
    connect(m_customize, &QPushButton::clicked, this, [this] { m_environment.notificationSettings(); });
    const int notificationRow = static_cast<int>(NotificationType::systemNotification);
    if (auto* button = m_picker->radioButton(notificationRow)) {
        auto* rowLayout = new QHBoxLayout;
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* buttonLayout = button->parentWidget()->layout();
        const int index = buttonLayout->indexOf(button);
        auto* row = new QWidget(button->parentWidget());
        row->setLayout(rowLayout);
        static_cast<QBoxLayout*>(buttonLayout)->insertWidget(index, row);
        rowLayout->addWidget(button);
        rowLayout->addWidget(m_customize);
        rowLayout->addStretch(1);
    }
    m_binding->onShow([this](const NotificationType& type) {
        m_customize->setVisible(type == NotificationType::systemNotification);
    });
    layout->addWidget(m_picker);
    layout->addSpacing(4);

    zk::HideableInfoBox::Options options;
    options.verticallyCenterCloseButton = true;
    m_infoBox = new zk::HideableInfoBox(infoBoxIdentifier, tr(infoBoxMessage), options, this);
    layout->addWidget(m_infoBox);
}

void NotificationTypeSetting::typeDidChange(NotificationType)
{
    // The preview reports the interval the user has chosen, as a reminder would.
    const auto interval = Defaults::get(Keys::notifyInterval());
    m_environment.session().notify(interval.value_or(zk::Duration {}));
}

} // namespace kiruvo
