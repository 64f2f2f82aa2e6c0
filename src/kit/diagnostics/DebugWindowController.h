#pragma once

#include "kit/interface/SingletonWindowController.h"

#include <QRect>

class QMenu;

namespace zk {

class DebugScreen;

// The developer debug window, opened from the "Debug" items that exist only in debug mode. It
// lives until it closes; the next show builds a new one, on the Dashboard. Main-thread only.
class DebugWindowController : public SingletonWindowController {
    Q_OBJECT
public:
    DebugWindowController();

    DebugScreen& screen() const { return *m_screen; }

    static void show() { SingletonWindowController::show<DebugWindowController>(false); }

    // Where the window goes on a screen's available area: centred horizontally, and vertically
    // centred then raised by 12 % of the area's height. The area's own origin is not added (the
    // position comes from its size alone, as on the original platform), except that on Linux a
    // screen that does not start at 0,0 would put the window elsewhere, so its origin is added.
    static QPoint position(const QRect& available, const QSize& windowSize);

private:
    DebugScreen* m_screen = nullptr;
};

// Appends the "Debug" submenu with its "Show" item to `menu`, in debug mode only. Main-thread only.
void addDebugMenuTo(QMenu& menu);

} // namespace zk
