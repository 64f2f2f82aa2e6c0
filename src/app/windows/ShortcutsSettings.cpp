#include "app/windows/ShortcutsSettings.h"

#include "app/menubar/MenuBarController.h"
#include "app/windows/SecondaryText.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"

#include <QFormLayout>
#include <QLabel>

namespace kiruvo {

ShortcutsSettings::ShortcutsSettings(QWidget* parent)
    : QWidget(parent)
{
    setMinimumHeight(minimumPaneHeight);
    // What the recorder names when it refuses a combination the other row already has.
    KeyboardShortcuts::setNameTitles({ { ShortcutNames::toggleEnabled(), "Enable/disable Kiruvo" },
        { ShortcutNames::toggleMenu(), "Toggle Kiruvo menu" } });
    // The form lines the two rows up on their fields.
    auto* form = new QFormLayout(this);
    form->setFormAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    form->setLabelAlignment(Qt::AlignRight);
    m_toggleEnabled = new KeyboardShortcuts::RecorderCocoa(ShortcutNames::toggleEnabled(), {}, this);
    form->addRow(QStringLiteral("Enable/disable Kiruvo:"), m_toggleEnabled);
    m_toggleEnabledProblem = secondaryText(QString(), this);
    form->addRow(QString(), m_toggleEnabledProblem);
    m_toggleMenu = new KeyboardShortcuts::RecorderCocoa(ShortcutNames::toggleMenu(), {}, this);
    form->addRow(QStringLiteral("Toggle Kiruvo menu:"), m_toggleMenu);
    m_toggleMenuProblem = secondaryText(QString(), this);
    form->addRow(QString(), m_toggleMenuProblem);

    auto& notifier = KeyboardShortcuts::ShortcutChangeNotifier::shared();
    connect(&notifier, &KeyboardShortcuts::ShortcutChangeNotifier::shortcutByNameDidChange, this,
        &ShortcutsSettings::refreshProblems);
    connect(&notifier, &KeyboardShortcuts::ShortcutChangeNotifier::hotKeysDidChange, this,
        &ShortcutsSettings::refreshProblems);
    connect(&notifier, &KeyboardShortcuts::ShortcutChangeNotifier::availabilityDidChange, this,
        &ShortcutsSettings::refreshProblems);
    refreshProblems();
}

void ShortcutsSettings::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refreshProblems();
}

void ShortcutsSettings::refreshProblems()
{
    showProblem(*m_toggleEnabledProblem, ShortcutNames::toggleEnabled());
    showProblem(*m_toggleMenuProblem, ShortcutNames::toggleMenu());
}

void ShortcutsSettings::showProblem(QLabel& line, const KeyboardShortcuts::Name& name) const
{
    const std::optional<std::string> problem = KeyboardShortcuts::hotKeyProblem(name);
    line.setText(problem ? "Not working: " + QString::fromStdString(*problem) : QString());
    // The row goes with its text, so that a working shortcut leaves no gap.
    if (auto* form = qobject_cast<QFormLayout*>(layout())) {
        form->setRowVisible(&line, problem.has_value());
    } else {
        line.setVisible(problem.has_value());
    }
}

} // namespace kiruvo
