#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace zk {

// How hosted content reaches the window that shows it without keeping the window alive: a
// closure that answers the window, or nothing once it is gone (or when none was given).
using HostingWindow = std::function<QWidget*()>;

struct HostingWindowKey {
    // The value content sees when its builder gave none: a closure that answers nothing.
    static HostingWindow defaultValue()
    {
        return [] { return static_cast<QWidget*>(nullptr); };
    }
};

// The closure a window builder hands its content: it holds `window` weakly.
inline HostingWindow hostingWindow(QWidget* window)
{
    return [weak = QPointer<QWidget>(window)]() -> QWidget* { return weak.data(); };
}

} // namespace zk
