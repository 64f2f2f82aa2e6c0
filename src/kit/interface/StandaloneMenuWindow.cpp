#include "kit/interface/StandaloneMenuWindow.h"

#include <QGuiApplication>
#include <QMenu>

namespace zk {

StandaloneMenuWindow::StandaloneMenuWindow(QMenu& menu, bool applies)
    : QObject(&menu)
    , m_menu(menu)
    , m_applies(applies)
{
    if (!m_applies) {
        return;
    }
    // Compositors that frame windows on request (KWin, sway) are not asked to: a menu has no title
    // bar.
    m_menu.setWindowFlag(Qt::FramelessWindowHint, true);
    // Connected after the menu's owner rebuilds its items for this opening, so it measures them.
    connect(&m_menu, &QMenu::aboutToShow, this, [this] { m_menu.setFixedSize(m_menu.sizeHint()); });
}

bool StandaloneMenuWindow::isNeeded()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace zk
