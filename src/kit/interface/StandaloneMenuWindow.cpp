#include "kit/interface/StandaloneMenuWindow.h"

#include "kit/interface/WindowConstraints.h"

#include <QGuiApplication>
#include <QMenu>
#include <QWindow>

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
    connect(&m_menu, &QMenu::aboutToShow, this, [this] {
        m_menu.setFixedSize(m_menu.sizeHint());
        watchWindowsItMayHangFrom();
    });
    connect(&m_menu, &QMenu::aboutToHide, this, &StandaloneMenuWindow::forgetWindows);
}

void StandaloneMenuWindow::forgetWindows()
{
    for (const QMetaObject::Connection& watch : m_hostWatches) {
        disconnect(watch);
    }
    m_hostWatches.clear();
}

void StandaloneMenuWindow::watchWindowsItMayHangFrom()
{
    forgetWindows();
    // The toolkit hangs the menu from the window that last had the user's input, whichever that
    // is: the menu is closed when any window shown at its opening goes.
    const auto closeMenu = [this] { m_menu.hide(); };
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && window != m_menu.windowHandle()) {
            m_hostWatches.push_back(
                connect(window, &QWindow::visibleChanged, this, [closeMenu](bool visible) {
                    if (!visible) {
                        closeMenu();
                    }
                }));
            m_hostWatches.push_back(connect(window, &QObject::destroyed, this, closeMenu));
        }
    }
}

bool StandaloneMenuWindow::isNeeded()
{
    return windowsFloatOnlyAtFixedSize();
}

} // namespace zk
