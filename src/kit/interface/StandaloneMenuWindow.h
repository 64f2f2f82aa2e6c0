#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class QMenu;
class QWindow;

namespace zk {

// A menu opened with none of the application's windows to hang from (from a hot key, D-Bus or a
// panel's activation) looks like a menu on Wayland too. There a menu is a popup of one of the
// application's windows; a tray application often has none focused, and the toolkit then shows
// the menu as an ordinary window, which tiling compositors tile across the workspace and others
// frame with a title bar. Here that window has no frame and a size fixed to the menu's items as
// rebuilt for each opening, which compositors float (sway floats every window whose size cannot
// change) and focus. Escape, a choice, and the focus going elsewhere (a click on another window)
// close it as they close any menu. So does the window it hangs from going: the toolkit makes the
// menu a popup of its transient parent, or else of the window that last had the user's input when
// there is one (a popover, the Welcome window), which takes the menu with it when it goes while
// the toolkit still counts the menu shown, so that it would never open again. Other windows (a
// heads-up reminder ending) leave it open.
//
// Elsewhere (X11) a menu places and grabs itself, and nothing here applies.
//
// Lives as long as the menu (its parent). Main-thread only.
class StandaloneMenuWindow : public QObject {
    Q_OBJECT
public:
    // `applies`: whether the display is one where a menu cannot place itself (Wayland).
    explicit StandaloneMenuWindow(QMenu& menu, bool applies = isNeeded());

    // Whether menus need this on the application's display.
    static bool isNeeded();
    bool applies() const { return m_applies; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindowItHangsFrom();
    QWindow* windowItHangsFrom() const;
    void forgetWindows();

    QMenu& m_menu;
    const bool m_applies;
    std::vector<QMetaObject::Connection> m_hostWatches;
    // The window of the application that the user's last press or key went to.
    QPointer<QWindow> m_lastInputWindow;
};

} // namespace zk
