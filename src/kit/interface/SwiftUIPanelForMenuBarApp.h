#pragma once

#include <QWidget>

namespace zk {

// The panel twin of SwiftUIWindowForMenuBarApp: a tool window (no taskbar entry) with Ctrl+W and
// Ctrl+M; it has no Escape handling of its own. Main-thread only.
class SwiftUIPanelForMenuBarApp : public QWidget {
    Q_OBJECT
public:
    explicit SwiftUIPanelForMenuBarApp(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zk
