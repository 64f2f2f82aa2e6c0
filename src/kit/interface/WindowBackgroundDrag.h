#pragma once

#include <QObject>
#include <QPoint>
#include <QPointF>

#include <optional>

class QWidget;

namespace zk {

// Moves a window by a drag on its background (where no control takes the mouse), for a window
// without the desktop's frame. The move starts only once the pointer has gone past the platform's
// drag distance with the left button still down: a click, or a tap whose press and release arrive
// together, leaves the window where it is. On X11 the window follows the pointer itself, so the
// move ends with the release the window receives and can never outlast the button; where a window
// cannot place itself (Wayland) the compositor is handed the drag while the button is held.
//
// Lives as long as the window (its parent). Main-thread only.
class WindowBackgroundDrag : public QObject {
    Q_OBJECT
public:
    explicit WindowBackgroundDrag(QWidget& window);

    bool isMoving() const { return m_moving; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow(const QPointF& globalPosition);
    void end();

    QWidget& m_window;
    std::optional<QPointF> m_pressedAt;
    QPoint m_windowAtPress;
    bool m_moving = false;
};

} // namespace zk
