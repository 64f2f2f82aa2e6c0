#include "app/windows/ShortcutsSettings.h"

#include "app/menubar/MenuBarController.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"

#include <QFormLayout>
#include <QLabel>

namespace kiruvo {

ShortcutsSettings::ShortcutsSettings(QWidget* parent)
    : QWidget(parent)
{
    setMinimumHeight(minimumPaneHeight);
    // The form lines the two rows up on their fields.
    auto* form = new QFormLayout(this);
    form->setFormAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    form->setLabelAlignment(Qt::AlignRight);
    m_toggleEnabled = new KeyboardShortcuts::RecorderCocoa(ShortcutNames::toggleEnabled(), {}, this);
    form->addRow(QStringLiteral("Enable/disable Kiruvo:"), m_toggleEnabled);
    m_toggleMenu = new KeyboardShortcuts::RecorderCocoa(ShortcutNames::toggleMenu(), {}, this);
    form->addRow(QStringLiteral("Toggle Kiruvo menu:"), m_toggleMenu);
}

} // namespace kiruvo
