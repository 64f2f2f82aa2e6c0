#include "kit/foundation/Debouncer.h"

#include "platform/MainQueue.h"

#include <QCoreApplication>

namespace zk {

void Debouncer::call(std::function<void()> work)
{
    cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_workItemCancelled = cancelled;
    // Bound to the application rather than the debouncer: dropping the debouncer leaves its work
    // scheduled, and cancel() is what ends it.
    platform::MainQueue::asyncAfter(
        m_delay.seconds, QCoreApplication::instance(), [cancelled, work = std::move(work)] {
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
