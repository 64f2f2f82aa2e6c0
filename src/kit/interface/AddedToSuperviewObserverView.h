#pragma once

#include <QWidget>

#include <functional>

namespace zk {

// An invisible, zero-sized view that calls onAdded once it sits in a shown window (on the event
// loop's next turn after it is put into a parent that is on screen, or after the parent's window
// is shown), and then takes itself out of its parent and deletes itself. Whoever inserts it need
// not remove it. Put into a parent that is not in a shown window, it waits.
//
// Main-thread only.
class AddedToSuperviewObserverView : public QWidget {
    Q_OBJECT
public:
    explicit AddedToSuperviewObserverView(QWidget* parent = nullptr);

    std::function<void()> onAdded;

    bool hasFired() const { return m_fired; }

protected:
    bool event(QEvent* event) override;

private:
    void scheduleCheck();
    void fireIfInShownWindow();

    bool m_fired = false;
    bool m_checkScheduled = false;
};

} // namespace zk
