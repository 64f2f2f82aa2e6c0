#include "kit/interface/GlobalEventMonitor.h"

#include "platform/Logger.h"

namespace zk {

GlobalEventMonitor::GlobalEventMonitor(
    std::set<EventType> events, Callback callback, platform::GlobalInputSource& source)
    : m_events(std::move(events))
    , m_callback(std::move(callback))
    , m_source(&source)
{
}

GlobalEventMonitor::~GlobalEventMonitor()
{
    stop();
}

bool GlobalEventMonitor::isAvailable() const
{
    return m_source && m_source->isAvailable();
}

QString GlobalEventMonitor::unavailableReason() const
{
    return m_source ? m_source->unavailableReason() : QString();
}

GlobalEventMonitor& GlobalEventMonitor::start()
{
    if (m_started || !m_source) {
        return *this;
    }
    if (!m_source->isAvailable()) {
        platform::log(
            platform::LogLevel::Info, platform::lcIdle(), m_source->unavailableReason().toStdString());
        return *this;
    }
    m_connection = connect(m_source, &platform::GlobalInputSource::inputEvent, this,
        [this](const platform::GlobalInputEvent& event) {
            if (m_callback && m_events.contains(event.type)) {
                m_callback(event);
            }
        });
    m_source->start();
    m_started = true;
    return *this;
}

void GlobalEventMonitor::stop()
{
    if (!m_started) {
        return;
    }
    disconnect(m_connection);
    if (m_source) {
        m_source->stop();
    }
    m_started = false;
}

} // namespace zk
