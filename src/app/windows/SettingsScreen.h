#pragma once

#include "app/windows/SettingsEnvironment.h"

#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QTabWidget;

namespace kiruvo {

class GeneralSettings;
class MenubarSettings;
class NotificationsSettings;
class ShortcutsSettings;

// The Settings window's content: the General, Menu Bar, Notifications and Shortcuts tabs, opening
// on General, 320 points wide. Every control writes its setting at once and shows changes made
// elsewhere; nothing is applied or saved later. Tab goes from the shown pane's button to that
// pane's controls in reading order; the arrow keys move between the pane buttons. Main-thread only.
class SettingsScreen : public QWidget {
    Q_OBJECT
public:
    enum class Tab { general, menuBar, notifications, shortcuts };

    static constexpr int contentWidth = 320;
    // The default padding, applied twice.
    static constexpr int padding = 2 * 10;

    explicit SettingsScreen(SettingsEnvironment environment = {}, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return m_tabs; }
    Tab currentTab() const;
    void setCurrentTab(Tab tab);
    // The title of the current tab ("General").
    QString currentTitle() const;

    GeneralSettings* general() const { return m_general; }
    MenubarSettings* menuBar() const { return m_menuBar; }
    NotificationsSettings* notifications() const { return m_notifications; }
    ShortcutsSettings* shortcuts() const { return m_shortcuts; }

signals:
    void currentTitleChanged(const QString& title);
    // The shown pane changed its height, or another pane is shown.
    void preferredSizeChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitToCurrentPane(int index);
    void keepTabStopOnCurrentPaneButton();
    // Shows the pane before or after the button's for an arrow key, moving the focus with it;
    // false for any other key.
    bool showNeighbourPane(QAbstractButton& button, int key);

    QTabWidget* m_tabs = nullptr;
    QButtonGroup* m_tabButtons = nullptr;
    std::vector<Tab> m_tabOrder;
    QPointer<QWidget> m_watchedPane;
    GeneralSettings* m_general = nullptr;
    MenubarSettings* m_menuBar = nullptr;
    NotificationsSettings* m_notifications = nullptr;
    ShortcutsSettings* m_shortcuts = nullptr;
};

} // namespace kiruvo
