#pragma once

#include <QWidget>

namespace zk {

// The panel twin of SwiftUIWindowForMenuBarApp: a tool window (no taskbar entry) with Ctrl+W and
// Ctrl+M; it has no Escape handling of its own. Main-thread only.
class SwiftUIPanelForMenuBarApp : public QWidget {
    Q_OBJECT
public:
    explicit SwiftUIPanelForMenuBarApp(QWidget* parent = nullptr);

    // When true the window keeps any frame it is given, also one over the desktop's panels or off
    // the screen; otherwise its top edge stays below the panels at the top of the screen.
    bool allowedAboveMenuBar = false;

    // The frame the window takes for a proposed one.
    QRect constrainFrameRect(const QRect& proposed) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace zk
