#pragma once

#include "kit/interface/SharingService.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zk {

// A "Share" menu that fills itself each time it opens with the services that can share the current
// items: the application's own services, a separator, then the desktop's. The items come from the
// providers the application installs. Main-thread only.
class ShareMenu : public QMenu {
    Q_OBJECT
public:
    explicit ShareMenu(QWidget* parent = nullptr);

    // The items to share; set by the plain provider and cleared after a service has run.
    std::optional<std::vector<ShareItem>> shareItems;
    // The item this menu is the submenu of, when it is one.
    QPointer<QAction> parentItem;

    // The providers (none until installed): items built afresh (not kept), items that are kept,
    // and the application's own services.
    static std::function<std::vector<ShareItem>()>& itemProvider();
    static std::function<std::vector<ShareItem>()>& plainItemProvider();
    static std::function<std::vector<std::shared_ptr<SharingService>>()>& servicesProvider();
    // The menu every ShareButton pops up.
    static ShareMenu& shared();

    // Rebuilds the entries (what opening the menu does).
    void rebuild();

private:
    void perform(const std::shared_ptr<SharingService>& service);
};

// A menu item whose submenu is a ShareMenu.
class ShareMenuItem : public QAction {
    Q_OBJECT
public:
    explicit ShareMenuItem(const QString& title = QStringLiteral("Share"), QObject* parent = nullptr);
    ~ShareMenuItem() override;
    ShareMenu& shareMenu() const { return *m_menu; }

private:
    ShareMenu* m_menu;
};

// A "Share" button that pops up the shared ShareMenu under itself when pressed.
class ShareButton : public QPushButton {
    Q_OBJECT
public:
    explicit ShareButton(QWidget* parent = nullptr);
};

// A tool-bar button labelled "Share" with its own ShareMenu and no menu indicator.
class ShareToolbarItem : public QToolButton {
    Q_OBJECT
public:
    explicit ShareToolbarItem(QWidget* parent = nullptr);
};

} // namespace zk
