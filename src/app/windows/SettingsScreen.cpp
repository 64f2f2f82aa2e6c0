#include "app/windows/SettingsScreen.h"

#include "app/windows/GeneralSettings.h"
#include "app/windows/MenubarSettings.h"
#include "app/windows/NotificationsSettings.h"
#include "kit/interface/SettingsTabLabel.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kiruvo {

SettingsScreen::SettingsScreen(SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setFixedWidth(contentWidth);
    layout->addWidget(m_tabs, 0, Qt::AlignHCenter);

    const auto addTab = [this](QWidget* pane, zk::SettingsTabType type, Tab tab) {
        const zk::SettingsTabLabel label = zk::settingsTabLabel(type);
        m_tabs->addTab(pane, label.icon(), label.title);
        m_tabOrder.push_back(tab);
    };
    m_general = new GeneralSettings;
    addTab(m_general, zk::SettingsTabType::general, Tab::general);
    m_menuBar = new MenubarSettings;
    addTab(m_menuBar, zk::SettingsTabType::menuBar, Tab::menuBar);
    m_notifications = new NotificationsSettings(environment);
    addTab(m_notifications, zk::SettingsTabType::notifications, Tab::notifications);

    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { emit currentTitleChanged(currentTitle()); });
}

SettingsScreen::Tab SettingsScreen::currentTab() const
{
    const int index = m_tabs->currentIndex();
    return index >= 0 && static_cast<std::size_t>(index) < m_tabOrder.size()
        ? m_tabOrder[static_cast<std::size_t>(index)]
        : Tab::general;
}

void SettingsScreen::setCurrentTab(Tab tab)
{
    const auto found = std::find(m_tabOrder.begin(), m_tabOrder.end(), tab);
    if (found != m_tabOrder.end()) {
        m_tabs->setCurrentIndex(static_cast<int>(found - m_tabOrder.begin()));
    }
}

QString SettingsScreen::currentTitle() const
{
    return m_tabs->tabText(m_tabs->currentIndex());
}

} // namespace kiruvo
