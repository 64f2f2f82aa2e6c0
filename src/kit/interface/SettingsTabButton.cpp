#include "kit/interface/SettingsTabButton.h"

#include "kit/interface/Accessibility.h"

namespace zk {

SettingsTabButton::SettingsTabButton(const SettingsTabLabel& label, QWidget* parent)
    : QToolButton(parent)
{
    installAccessibility();
    setText(label.title);
    setIcon(label.icon());
    setIconSize(QSize(20, 20));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setCheckable(true);
    setAutoRaise(true);
}

} // namespace zk
