#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace zk {

// An invisible view that reports each resize of the window it is in, and its going full screen
// or back, through `onResize`. It follows the window it is in now: moved to another window, it
// stops reporting the first one's resizes. It never takes the keyboard focus.
//
// Main-thread only.
class WindowResizeObserverView : public QWidget {
    Q_OBJECT
public:
    explicit WindowResizeObserverView(QWidget* parent = nullptr);

    std::function<void()> onResize;

    // Calls onResize, when set.
    void didResize();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followWindow();

    QPointer<QWidget> m_window;
};

} // namespace zk
