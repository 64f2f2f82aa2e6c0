#include "app/windows/SettingsScreen.h"

#include "app/windows/GeneralSettings.h"
#include "app/windows/MenubarSettings.h"
#include "app/windows/NotificationsSettings.h"
#include "app/windows/ShortcutsSettings.h"
#include "kit/interface/SettingsTabButton.h"
#include "kit/interface/SettingsTabLabel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QKeyEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

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
    m_tabButtons = new QButtonGroup(this);
    m_tabButtons->setExclusive(true);
    layout->addLayout(tabRow);
    m_tabs = new QTabWidget(this);
    m_tabs->tabBar()->hide();
    // The pane buttons stand in for the tab bar, also for the keyboard: the hidden bar would take
    // Tab and keep it.
    m_tabs->setFocusPolicy(Qt::NoFocus);
    m_tabs->tabBar()->setFocusPolicy(Qt::NoFocus);
    m_tabs->setDocumentMode(true);
    m_tabs->setFixedWidth(contentWidth);
    layout->addWidget(m_tabs, 0, Qt::AlignHCenter);
    // A pane shorter than the window's least height leaves the room below it: the tabs and the
    // pane stay where every other pane has them.
    layout->addStretch(1);

    // The pane buttons come first in the window's Tab order, before every pane's controls: they
    // are made before the panes, which join the order as they join the window.
    const std::array<std::pair<zk::SettingsTabType, Tab>, 4> tabs { {
        { zk::SettingsTabType::general, Tab::general },
        { zk::SettingsTabType::menuBar, Tab::menuBar },
        { zk::SettingsTabType::notifications, Tab::notifications },
        { zk::SettingsTabType::shortcuts, Tab::shortcuts },
    } };
    for (const auto& [type, tab] : tabs) {
        auto* button = new zk::SettingsTabButton(zk::settingsTabLabel(type), this);
        button->setChecked(m_tabOrder.empty());
        button->installEventFilter(this);
        m_tabButtons->addButton(button, static_cast<int>(m_tabOrder.size()));
        tabRow->insertWidget(tabRow->count() - 1, button);
        m_tabOrder.push_back(tab);
    }
    const auto addTab = [this](QWidget* pane, zk::SettingsTabType type) {
        const zk::SettingsTabLabel label = zk::settingsTabLabel(type);
        m_tabs->addTab(pane, label.icon(), label.title);
    };
    m_general = new GeneralSettings(environment.session());
    addTab(m_general, zk::SettingsTabType::general);
    m_menuBar = new MenubarSettings;
    addTab(m_menuBar, zk::SettingsTabType::menuBar);
    m_notifications = new NotificationsSettings(environment);
    addTab(m_notifications, zk::SettingsTabType::notifications);
    m_shortcuts = new ShortcutsSettings;
    addTab(m_shortcuts, zk::SettingsTabType::shortcuts);
    keepTabStopOnCurrentPaneButton();

    tabRow->insertStretch(0, 1);
    // 320 wide, unless the desktop's font needs more for a row that must not be cut ("Show a gentle
    // reminder:" beside its choice): every pane gets the same width, so switching never resizes it
    // sideways.
    int width = contentWidth;
    for (int page = 0; page < m_tabs->count(); ++page) {
        width = std::max(width, m_tabs->widget(page)->minimumSizeHint().width());
    }
    m_tabs->setFixedWidth(width);
    connect(m_tabButtons, &QButtonGroup::idClicked, m_tabs, &QTabWidget::setCurrentIndex);
    fitToCurrentPane(0);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (auto* button = m_tabButtons->button(index)) {
            button->setChecked(true);
        }
        keepTabStopOnCurrentPaneButton();
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

void SettingsScreen::keepTabStopOnCurrentPaneButton()
{
    // The row of pane buttons is one stop of Tab, on the shown pane's button, as a tab bar is; the
    // arrow keys move along it.
    const int current = m_tabs->currentIndex();
    for (QAbstractButton* button : m_tabButtons->buttons()) {
        button->setFocusPolicy(m_tabButtons->id(button) == current ? Qt::TabFocus : Qt::NoFocus);
    }
}

bool SettingsScreen::showNeighbourPane(QAbstractButton& button, int key)
{
    const bool rightToLeft = button.layoutDirection() == Qt::RightToLeft;
    int step = 0;
    if (key == Qt::Key_Up || key == (rightToLeft ? Qt::Key_Right : Qt::Key_Left)) {
        step = -1;
    } else if (key == Qt::Key_Down || key == (rightToLeft ? Qt::Key_Left : Qt::Key_Right)) {
        step = 1;
    } else {
        return false;
    }
    const int index = m_tabButtons->id(&button) + step;
    if (QAbstractButton* neighbour = m_tabButtons->button(index)) {
        m_tabs->setCurrentIndex(index);
        neighbour->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    }
    // At either end the key does nothing more.
    return true;
}

bool SettingsScreen::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedPane && event->type() == QEvent::LayoutRequest) {
        fitToCurrentPane(m_tabs->currentIndex());
    }
    if (event->type() == QEvent::KeyPress) {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (button && m_tabButtons->id(button) >= 0
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
            && showNeighbourPane(*button, key->key())) {
            return true;
        }
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
