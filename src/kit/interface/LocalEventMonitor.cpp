#include "kit/interface/LocalEventMonitor.h"

#include <QCoreApplication>
#include <QWindow>

namespace zk {

LocalEventMonitor::LocalEventMonitor(std::set<QEvent::Type> events, Callback callback)
    : m_events(std::move(events))
    , m_callback(std::move(callback))
{
}

LocalEventMonitor::~LocalEventMonitor()
{
    stop();
}

LocalEventMonitor& LocalEventMonitor::start()
{
    if (!m_started && QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        m_started = true;
    }
    return *this;
}

void LocalEventMonitor::stop()
{
    if (m_started && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    m_started = false;
}

bool LocalEventMonitor::eventFilter(QObject* receiver, QEvent* event)
{
    // Input reaches the window first and is then passed on to its widgets; looking at it on its
    // way into the window sees it once.
    if (!receiver->isWindowType() || !m_events.contains(event->type())) {
        return false;
    }
    m_subject.send(event);
    if (!m_callback) {
        return false;
    }
    QEvent* result = m_callback(event);
    if (result == nullptr || result == event) {
        return false;
    }
    QCoreApplication::sendEvent(receiver, result);
    return true;
}

} // namespace zk
