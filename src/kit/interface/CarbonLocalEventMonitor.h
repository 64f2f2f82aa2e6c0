#pragma once

#include <QEvent>
#include <QObject>

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace zk {

// Watches raw input events of chosen kinds anywhere in this application and lets its callback
// consume them: an event the callback handles (returns true) goes no further, any other one
// continues on its way as if nothing had looked at it ("not handled"). The status menu takes its
// own keys with it while it is open.
//
// `useGlobalEventDispatcher` asks to see the events before any window or popup does; on this
// platform the application's own event dispatch is that point either way, so both settings watch
// the same stream.
//
// Main-thread only. Destroying the monitor stops it.
class CarbonLocalEventMonitor : public QObject {
    Q_OBJECT
public:
    // Raw values are fixed: they order the watched kinds.
    enum class EventType {
        keyDown = 0,
        keyRepeat = 1,
        keyUp = 2,
        keyModifiersChanged = 3,
        mouseDown = 4,
        mouseUp = 5,
        mouseMoved = 6,
        mouseDragged = 7,
        mouseEntered = 8,
        mouseExited = 9,
        mouseWheelMoved = 10,
        mouseScroll = 11,
    };

    using Callback = std::function<bool(QEvent* event)>;

    CarbonLocalEventMonitor(std::set<EventType> events, bool useGlobalEventDispatcher, Callback callback);
    ~CarbonLocalEventMonitor() override;

    // Starting an empty set installs nothing.
    CarbonLocalEventMonitor& start();
    void stop();
    bool isStarted() const { return m_started; }

    const std::set<EventType>& events() const { return m_events; }
    bool useGlobalEventDispatcher() const { return m_useGlobalEventDispatcher; }

    // The watched kinds in raw-value order, whatever order the caller listed them in.
    std::vector<EventType> eventTypeSpecs() const;

    // The kind of an input event, if it is one this monitor can watch.
    static std::optional<EventType> eventType(const QEvent& event);

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    std::set<EventType> m_events;
    bool m_useGlobalEventDispatcher;
    Callback m_callback;
    bool m_started = false;
};

} // namespace zk
