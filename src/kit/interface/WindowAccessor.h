#pragma once

#include "kit/interface/WindowUtilities.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace zk {

// A widget learns the window that hosts it: an invisible, zero-sized child that writes the window
// into `binding` as soon as it is in one (before that window is first shown, so settings made there
// apply before the first frame) and again whenever the window it is in changes. Leaving a window
// writes nothing. Main-thread only.
class WindowAccessor : public QWidget {
    Q_OBJECT
public:
    using Binding = std::function<void(QWidget* window)>;

    // Watches `host` (and its ancestors as they come and go).
    WindowAccessor(QWidget& host, Binding binding);

    QWidget* window() const { return m_window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void check();
    void watchAncestors();

    Binding m_binding;
    QPointer<QWidget> m_window;
};

// Hands the window that hosts a content to `onWindow`: at once with what it has now (null while it
// is in none), then whenever the content is placed in a window.
struct WindowViewModifier {
    std::function<void(QWidget* window)> onWindow;

    // Returns the accessor, a child of `content`.
    WindowAccessor* apply(QWidget& content) const;
};

// WindowViewModifier { onWindow }.apply(content).
WindowAccessor* onWindow(QWidget& content, std::function<void(QWidget* window)> onWindow);

// A closure that puts a given window at `level`, and does nothing for no window.
std::function<void(QWidget* window)> windowLevelSetter(WindowLevel level);

// Tells when a widget appears on screen and disappears again. `isOnScreen` (optional) receives
// true or false first, then the matching action runs (each optional). Main-thread only.
class AppearOnScreenView : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> onViewDidAppear;
        std::function<void()> onViewDidDisappear;
        std::function<void(bool)> isOnScreen;
    };

    // A child of `widget`, watching it.
    AppearOnScreenView(QWidget& widget, Actions actions);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Actions m_actions;
};

} // namespace zk
