#pragma once

#include <QEvent>
#include <QWidget>

#include <set>

namespace zk {

// A window that can ignore the user for a while: while `isUserInteractionEnabled` is false, the
// mouse buttons, drags, keys, wheel, tablet, touch and gesture events meant for it or any of its
// widgets are dropped; pointer motion without a button, entering and leaving, changes of the
// modifier keys (Shift, Ctrl, Alt, Super, Caps Lock pressed or let go), and everything the system
// itself sends still arrive.
//
// Main-thread only.
class UserInteractionPausableWindow : public QWidget {
    Q_OBJECT
public:
    explicit UserInteractionPausableWindow(QWidget* parent = nullptr);
    ~UserInteractionPausableWindow() override;

    bool isUserInteractionEnabled() const { return m_isUserInteractionEnabled; }
    void setUserInteractionEnabled(bool enabled);

    // The event types dropped while paused (motion with a button held counts as a drag; a
    // modifier key pressed or let go is let through).
    static const std::set<QEvent::Type>& droppedEventTypes();
    static bool isDroppedWhilePaused(const QEvent& event);

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    bool isOurs(const QObject* receiver) const;

    bool m_isUserInteractionEnabled = true;
};

} // namespace zk
