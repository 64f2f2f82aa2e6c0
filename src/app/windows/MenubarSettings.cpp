#include "app/windows/MenubarSettings.h"

#include "app/engine/SettingsKeys.h"
#include "app/windows/ClickMenuBarItemSetting.h"
#include "app/windows/ShowInMenuBarSetting.h"
#include "kit/interface/MenuBarItemVerticalAlignmentSetting.h"
#include "kit/interface/WrappingToolTip.h"
#include "libraries/defaults/Toggle.h"

#include <QVBoxLayout>

namespace kiruvo {

MenubarSettings::MenubarSettings(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    m_show = new ShowInMenuBarSetting(this);
    layout->addWidget(m_show);
    layout->addSpacing(16);
    m_click = new ClickMenuBarItemSetting(this);
    layout->addWidget(m_click);
    m_dim = new Defaults::Toggle(QStringLiteral("Dim the tray icon while Kiruvo is disabled"),
        Keys::dimMenuBarItemWhileDisabled(), this);
    zk::setHelpText(*m_dim,
        tr("Makes the tray icon have less opacity while Kiruvo is disabled.\n\nIf you have "
           "enabled always showing an icon for Kiruvo and disable this setting, you will not be "
           "able to see whether Kiruvo is disabled or not by just looking at the tray icon."));
    layout->addWidget(m_dim);
    layout->addSpacing(8);
    m_alignment
        = new zk::MenuBarItemVerticalAlignmentSetting(Keys::menuBarTextVerticalAlignmentOffset(), this);
    layout->addWidget(m_alignment);
    layout->addStretch(1);
}

} // namespace kiruvo
