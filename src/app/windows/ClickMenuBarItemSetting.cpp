#include "app/windows/ClickMenuBarItemSetting.h"

#include "app/engine/SettingsKeys.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/WrappingToolTip.h"
#include "libraries/defaults/Toggle.h"

#include <QPointer>
#include <QVBoxLayout>

namespace kiruvo {

ClickMenuBarItemSetting::ClickMenuBarItemSetting(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_toggle = new Defaults::Toggle(
        QStringLiteral("Disable Kiruvo by clicking the tray icon"), Keys::toggleEnabledWithLeftClick(), this);
    zk::setHelpText(*m_toggle, tr("When enabled, you can access the menu by right-clicking the tray icon."));
    m_toggle->onChange([this](bool isOn) {
        if (!isOn || m_isAlertPresented) {
            return;
        }
        m_isAlertPresented = true;
        zk::AlertDescription description;
        description.title = alertTitle;
        QPointer<ClickMenuBarItemSetting> self(this);
        zk::AlertPresenter::shared().present(
            zk::makeAlert(description),
            [self](int) {
                if (self) {
                    self->m_isAlertPresented = false;
                }
            },
            window());
    });
    layout->addWidget(m_toggle);
}

} // namespace kiruvo
