#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <optional>

namespace zk {

// Watches the pointer over one rectangle of a view: entering and leaving it, and, when asked,
// moving inside it. Installed on construction, updated with setRect(), and removed when the
// tracking area or its view goes away.
//
// Main-thread only.
class TrackingArea : public QObject {
    Q_OBJECT
public:
    enum Option {
        mouseEnteredAndExited = 0x1,
        mouseMoved = 0x2,
    };
    Q_DECLARE_FLAGS(Options, Option)

    TrackingArea(QWidget* view, const QRect& rect, Options options);
    ~TrackingArea() override;

    QWidget* view() const { return m_view; }
    QRect rect() const { return m_rect; }
    Options options() const { return m_options; }
    bool isInside() const { return m_inside; }

    // A new rectangle; the pointer's position is judged against it from the next event on.
    void setRect(const QRect& rect);

signals:
    void mouseEntered();
    void mouseExited();
    void mouseMovedTo(const QPoint& position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pointerAt(std::optional<QPoint> position);

    QPointer<QWidget> m_view;
    QRect m_rect;
    Options m_options;
    bool m_inside = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TrackingArea::Options)

} // namespace zk
