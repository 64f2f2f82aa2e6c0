#include "app/intents/IntentCallQueue.h"

#include "platform/MainQueue.h"

#include <QPointer>

#include <cassert>
#include <utility>

namespace kiruvo {

IntentCallQueue::IntentCallQueue(QObject* parent)
    : QObject(parent)
{
}

bool IntentCallQueue::enqueue(const QString& caller, Work work)
{
    assert(platform::MainQueue::isMainThread());
    std::deque<Work>& calls = m_waiting[caller];
    if (calls.size() >= maximumWaitingPerCaller) {
        return false;
    }
    calls.push_back(std::move(work));
    ++m_waitingCount;
    scheduleNext();
    return true;
}

void IntentCallQueue::scheduleNext()
{
    if (m_working || m_scheduled || m_waiting.empty()) {
        return;
    }
    m_scheduled = true;
    // From a turn of its own: whatever else waits in the event loop (a signal, another bus
    // message, the tick) is served before the next call.
    platform::MainQueue::post(this, [this] {
        m_scheduled = false;
        startNext();
    });
}

void IntentCallQueue::startNext()
{
    if (m_working || m_waiting.empty()) {
        return;
    }
    auto next = m_waiting.upper_bound(m_lastCaller);
    if (next == m_waiting.end()) {
        next = m_waiting.begin();
    }
    m_lastCaller = next->first;
    Work work = std::move(next->second.front());
    next->second.pop_front();
    if (next->second.empty()) {
        m_waiting.erase(next);
    }
    --m_waitingCount;
    m_working = true;
    work([self = QPointer(this), once = std::make_shared<bool>(false)] {
        if (self && !std::exchange(*once, true)) {
            self->finished();
        }
    });
}

void IntentCallQueue::finished()
{
    m_working = false;
    scheduleNext();
}

} // namespace kiruvo
