#include "kit/interface/StandaloneMenuWindow.h"

#include "kit/interface/WindowConstraints.h"

#include <QEvent>
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
    connect(&m_menu, &QMenu::aboutToShow, this, [this] { m_menu.setFixedSize(m_menu.sizeHint()); });
    connect(&m_menu, &QMenu::aboutToHide, this, &StandaloneMenuWindow::forgetWindows);
    // Sees the menu's own showing, once its window and transient parent exist, and where the
    // user's input goes.
    QCoreApplication::instance()->installEventFilter(this);
}

bool StandaloneMenuWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
        if (watched == &m_menu) {
            watchWindowItHangsFrom();
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::TouchBegin:
        if (auto* window = qobject_cast<QWindow*>(watched); window && window != m_menu.windowHandle()) {
            m_lastInputWindow = window;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void StandaloneMenuWindow::forgetWindows()
{
    for (const QMetaObject::Connection& watch : m_hostWatches) {
        disconnect(watch);
    }
    m_hostWatches.clear();
}

QWindow* StandaloneMenuWindow::windowItHangsFrom() const
{
    if (const QWindow* own = m_menu.windowHandle(); own && own->transientParent()) {
        return own->transientParent();
    }
    if (m_lastInputWindow && m_lastInputWindow->isVisible()) {
        return m_lastInputWindow.data();
    }
    return nullptr;
}

void StandaloneMenuWindow::watchWindowItHangsFrom()
{
    forgetWindows();
    QWindow* host = windowItHangsFrom();
    if (!host) {
        return;
    }
    const auto closeMenu = [this] { m_menu.hide(); };
    m_hostWatches.push_back(connect(host, &QWindow::visibleChanged, this, [closeMenu](bool visible) {
        if (!visible) {
            closeMenu();
        }
    }));
    m_hostWatches.push_back(connect(host, &QObject::destroyed, this, closeMenu));
}

bool StandaloneMenuWindow::isNeeded()
{
    return windowsFloatOnlyAtFixedSize();
}

} // namespace zk
