#include "app/windows/ShortcutsSettings.h"

#include "app/menubar/MenuBarController.h"
#include "app/windows/SecondaryText.h"
#include "kit/interface/ControlAlignment.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kiruvo {

ShortcutsSettings::ShortcutsSettings(QWidget* parent)
    : QWidget(parent)
{
    setMinimumHeight(minimumPaneHeight);
    // The two rows line up on their fields, whatever the labels' widths.
    auto* layout = new QVBoxLayout(this);
    auto* rows = new zk::ControlAlignment(this);
    layout->addStretch();
    layout->addWidget(rows, 0, Qt::AlignHCenter);
    layout->addStretch();
    m_toggleEnabled = new KeyboardShortcuts::RecorderCocoa(ShortcutNames::toggleEnabled(), {}, this);
    rows->addRow(new QLabel(QStringLiteral("Enable/disable Kiruvo:")), m_toggleEnabled);
    m_toggleEnabledProblem = secondaryText(QString(), this);
    rows->addRow(nullptr, m_toggleEnabledProblem);
    m_toggleMenu = new KeyboardShortcuts::RecorderCocoa(ShortcutNames::toggleMenu(), {}, this);
    rows->addRow(new QLabel(QStringLiteral("Toggle Kiruvo menu:")), m_toggleMenu);
    m_toggleMenuProblem = secondaryText(QString(), this);
    rows->addRow(nullptr, m_toggleMenuProblem);

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
    line.setVisible(problem.has_value());
}

} // namespace kiruvo
