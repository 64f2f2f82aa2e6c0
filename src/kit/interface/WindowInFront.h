#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace zk {

// Keeps a window in front of one shown after it. Raising the first right after showing the second
// is not enough: the window manager puts a window in front when it maps it, which happens later, so
// the first is raised again once the second is on screen (its first expose). Main-thread only.
class WindowInFront final : public QObject {
    Q_OBJECT
public:
    // Raises and activates `front` once `later` is first on screen; nothing when either is gone.
    static void keepInFrontOf(QWidget* front, QWidget* later);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowInFront(QWidget* front, QWidget* later);

    QPointer<QWidget> m_front;
};

} // namespace zk
