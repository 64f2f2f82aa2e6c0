#include "kit/foundation/Debouncer.h"

#include "platform/MainQueue.h"

namespace zk {

void Debouncer::call(std::function<void()> work)
{
    cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_workItemCancelled = cancelled;
    platform::MainQueue::asyncAfter(m_delay.seconds, [cancelled, work = std::move(work)] {
        if (!cancelled->load()) {
            work();
        }
    });
}

void Debouncer::cancel()
{
    if (m_workItemCancelled) {
        m_workItemCancelled->store(true);
        m_workItemCancelled.reset();
    }
}

} // namespace zk
