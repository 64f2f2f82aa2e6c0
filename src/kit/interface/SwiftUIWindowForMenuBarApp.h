#pragma once

#include <QWidget>

namespace zk {

// A top-level window for a tray application: it handles Ctrl+W and Ctrl+M itself (there is no main
// menu to do it) and, when asked, closes on Escape. It starts at 100 × 100; its owner sizes, titles
// and fills it. Main-thread only.
class SwiftUIWindowForMenuBarApp : public QWidget {
    Q_OBJECT
public:
    explicit SwiftUIWindowForMenuBarApp(QWidget* parent = nullptr);

    bool shouldCloseOnEscapePress = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace zk
