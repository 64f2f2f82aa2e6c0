#pragma once

#include <QWidget>

namespace zk {

class WindowBackgroundDrag;

// A top-level window for a tray application: it handles Ctrl+W and Ctrl+M itself (there is no main
// menu to do it) and, when asked, closes on Escape. It starts at 100 × 100; its owner sizes, titles
// and fills it. Without the desktop's frame (Qt::FramelessWindowHint) it draws its own edge, so
// that it stands apart from what lies behind it. Main-thread only.
class SwiftUIWindowForMenuBarApp : public QWidget {
    Q_OBJECT
public:
    explicit SwiftUIWindowForMenuBarApp(QWidget* parent = nullptr);

    bool shouldCloseOnEscapePress = false;

    // When true the window keeps any frame it is given, also one over the desktop's panels or off
    // the screen; otherwise its top edge stays below the panels at the top of the screen.
    bool allowedAboveMenuBar = false;

    // The frame the window takes for a proposed one.
    QRect constrainFrameRect(const QRect& proposed) const;

    // Whether a drag on the background moves the window (WindowBackgroundDrag): for a window
    // without the desktop's frame, which has no title bar to drag. Off at first.
    void setMovableByWindowBackground(bool movable);
    bool isMovableByWindowBackground() const { return m_backgroundDrag != nullptr; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    WindowBackgroundDrag* m_backgroundDrag = nullptr;
};

} // namespace zk
