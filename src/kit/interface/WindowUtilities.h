#pragma once

#include <QImage>

class QWidget;

namespace zk {

// How high a window sits: among ordinary windows, above them (the heads-up display, a window
// flying into the tray), or below them, over the desktop only.
enum class WindowLevel { normal, floating, below };

// The finer levels other desktops offer. An X11 or Wayland window manager knows only "keep below",
// normal and "keep above", so these collapse onto those three: the desktop, desktop-icon, minimum
// and backstop-menu levels sit below ordinary windows; dragging, overlay, help, utility,
// assistive-technology, shielding, cursor and maximum all sit above them, in no order among
// themselves.
enum class ExtraWindowLevel {
    desktop,
    desktopIcon,
    minimum,
    backstopMenu,
    dragging,
    overlay,
    help,
    utility,
    assistiveTechHigh,
    shielding,
    cursor,
    maximum,
};

WindowLevel windowLevel(ExtraWindowLevel level);

// Changing the level of a shown window re-shows it, as the window system requires.
void setWindowLevel(QWidget& window, WindowLevel level);
WindowLevel windowLevel(const QWidget& window);

// The window that takes the keyboard when `window` is made active: the modal dialog that keeps
// input from it (one opened over it or its family, or an application-modal one), or the dialog
// that keeps input from that one in turn; `window` itself when none does.
QWidget& windowTakingInput(QWidget& window);

// Raises the window and asks for it to become the active window. Where a modal dialog keeps input
// from it, the dialog is raised and made active instead: a blocked window hears no key, so making
// it active would leave the keyboard with no window at all.
void activate(QWidget& window);

// Closes the window when it is shown and active; otherwise shows it and activates it.
void toggle(QWidget& window);

// The window's content as an image (the desktop's frame is not the application's to capture).
QImage snapshotImage(QWidget& window);

} // namespace zk
