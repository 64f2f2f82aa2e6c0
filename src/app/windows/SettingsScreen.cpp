#include "app/windows/SettingsScreen.h"

#include "app/windows/GeneralSettings.h"
#include "app/windows/MenubarSettings.h"
#include "app/windows/NotificationsSettings.h"
#include "app/windows/ShortcutsSettings.h"
#include "kit/interface/SettingsTabLabel.h"

#include <QButtonGroup>
#include <QEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kiruvo {

SettingsScreen::SettingsScreen(SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    // A settings window's tabs: a row of symbols with their titles under them, as wide as the
    // content, above the panes.
    auto* tabRow = new QHBoxLayout;
    tabRow->setSpacing(0);
    tabRow->addStretch(1);
    auto* tabButtons = new QButtonGroup(this);
    tabButtons->setExclusive(true);
    layout->addLayout(tabRow);
    m_tabs = new QTabWidget(this);
    m_tabs->tabBar()->hide();
    m_tabs->setDocumentMode(true);
    m_tabs->setFixedWidth(contentWidth);
    layout->addWidget(m_tabs, 0, Qt::AlignHCenter);
    // A pane shorter than the window's least height leaves the room below it: the tabs and the
    // pane stay where every other pane has them.
    layout->addStretch(1);

    const auto addTab = [this, tabRow, tabButtons](QWidget* pane, zk::SettingsTabType type, Tab tab) {
        const zk::SettingsTabLabel label = zk::settingsTabLabel(type);
        const int index = m_tabs->addTab(pane, label.icon(), label.title);
        m_tabOrder.push_back(tab);
        auto* button = new QToolButton(this);
        button->setText(label.title);
        button->setIcon(label.icon());
        button->setIconSize(QSize(20, 20));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setChecked(index == 0);
        tabButtons->addButton(button, index);
        tabRow->insertWidget(tabRow->count() - 1, button);
    };
    m_general = new GeneralSettings(environment.session());
    addTab(m_general, zk::SettingsTabType::general, Tab::general);
    m_menuBar = new MenubarSettings;
    addTab(m_menuBar, zk::SettingsTabType::menuBar, Tab::menuBar);
    m_notifications = new NotificationsSettings(environment);
    addTab(m_notifications, zk::SettingsTabType::notifications, Tab::notifications);
    m_shortcuts = new ShortcutsSettings;
    addTab(m_shortcuts, zk::SettingsTabType::shortcuts, Tab::shortcuts);

    tabRow->insertStretch(0, 1);
    // 320 wide, unless the desktop's font needs more for a row that must not be cut ("Show a gentle
    // reminder:" beside its choice): every pane gets the same width, so switching never resizes it
    // sideways.
    int width = contentWidth;
    for (int page = 0; page < m_tabs->count(); ++page) {
        width = std::max(width, m_tabs->widget(page)->minimumSizeHint().width());
    }
    m_tabs->setFixedWidth(width);
    connect(tabButtons, &QButtonGroup::idClicked, m_tabs, &QTabWidget::setCurrentIndex);
    fitToCurrentPane(0);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this, tabButtons](int index) {
        if (auto* button = tabButtons->button(index)) {
            button->setChecked(true);
        }
        fitToCurrentPane(index);
        emit currentTitleChanged(currentTitle());
    });
}

void SettingsScreen::fitToCurrentPane(int index)
{
    // The screen is as tall as the pane it shows, not as the tallest pane, and grows or shrinks
    // with it (a row that appears once a list has loaded).
    QWidget* pane = m_tabs->widget(index);
    if (!pane) {
        return;
    }
    if (m_watchedPane != pane) {
        if (m_watchedPane) {
            m_watchedPane->removeEventFilter(this);
        }
        m_watchedPane = pane;
        pane->installEventFilter(this);
    }
    const int height
        = pane->hasHeightForWidth() ? pane->heightForWidth(m_tabs->width()) : pane->sizeHint().height();
    const int fitted = std::max({ height, pane->minimumSizeHint().height(), pane->minimumHeight() });
    if (m_tabs->height() != fitted || m_tabs->minimumHeight() != fitted) {
        m_tabs->setFixedHeight(fitted);
        emit preferredSizeChanged();
    }
}

bool SettingsScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedPane && event->type() == QEvent::LayoutRequest) {
        fitToCurrentPane(m_tabs->currentIndex());
    }
    return QWidget::eventFilter(watched, event);
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
