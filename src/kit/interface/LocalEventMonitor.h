#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/PassthroughSubject.h"

#include <QEvent>
#include <QObject>

#include <functional>
#include <set>

namespace zk {

// Watches input events of chosen types anywhere in this application, before any widget sees
// them, while started. The monitor only observes: returning the event, or nothing (nullptr), lets
// the event through unchanged; returning another event delivers that one to the same receiver
// instead (the callback keeps ownership of it). Each event is also published. Only events on
// their way into a window are looked at, so each input event is seen once. A watcher that must
// take events for itself uses CarbonLocalEventMonitor.
//
// Main-thread only. Destroying the monitor stops it.
class LocalEventMonitor : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<QEvent*(QEvent* event)>;

    LocalEventMonitor(std::set<QEvent::Type> events, Callback callback);
    ~LocalEventMonitor() override;

    LocalEventMonitor& start();
    void stop();
    bool isStarted() const { return m_started; }

    platform::combine::AnyPublisher<const QEvent*> objectWillChange() const
    {
        return m_subject.eraseToAnyPublisher();
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    std::set<QEvent::Type> m_events;
    Callback m_callback;
    platform::combine::PassthroughSubject<const QEvent*> m_subject;
    bool m_started = false;
};

} // namespace zk
