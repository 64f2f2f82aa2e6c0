#pragma once

#include "platform/desktop/GlobalInputSource.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <set>

namespace zk {

// Watches input events of chosen types sent to other applications (and to this one), while
// started. It only observes: the events reach their application unchanged. Where the desktop does
// not allow it (Wayland), the monitor is unavailable: starting it does nothing and
// unavailableReason() says why.
//
// Main-thread only. Destroying the monitor stops it.
class GlobalEventMonitor : public QObject {
    Q_OBJECT
public:
    using EventType = platform::GlobalInputEvent::Type;
    using Callback = std::function<void(const platform::GlobalInputEvent& event)>;

    GlobalEventMonitor(std::set<EventType> events, Callback callback,
        platform::GlobalInputSource& source = platform::GlobalInputSource::shared());
    ~GlobalEventMonitor() override;

    GlobalEventMonitor& start();
    void stop();
    bool isStarted() const { return m_started; }

    bool isAvailable() const;
    QString unavailableReason() const;

private:
    std::set<EventType> m_events;
    Callback m_callback;
    QPointer<platform::GlobalInputSource> m_source;
    QMetaObject::Connection m_connection;
    bool m_started = false;
};

} // namespace zk
