#pragma once

#include <QImage>

class QWidget;

namespace zk {

// How high a window sits: among ordinary windows, or above them (the heads-up display, a window
// flying into the tray).
enum class WindowLevel { normal, floating };

// Changing the level of a shown window re-shows it, as the window system requires.
void setWindowLevel(QWidget& window, WindowLevel level);
WindowLevel windowLevel(const QWidget& window);

// Closes the window when it is shown and active; otherwise shows it, raises it and asks for it to
// become the active window.
void toggle(QWidget& window);

// The window's content as an image (the desktop's frame is not the application's to capture).
QImage snapshotImage(QWidget& window);

} // namespace zk
