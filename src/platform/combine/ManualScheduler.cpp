#include "platform/combine/ManualScheduler.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform::combine {

void ManualScheduler::post(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    m_items.push_back({ m_now, m_sequence++, std::make_shared<std::function<void()>>(std::move(work)) });
}

AnyCancellable ManualScheduler::schedule(double seconds, std::function<void()> work)
{
    if (std::isinf(seconds) && seconds > 0) {
        return AnyCancellable();
    }
    if (std::isnan(seconds) || seconds < 0) {
        seconds = 0;
    }
    auto shared = std::make_shared<std::function<void()>>(std::move(work));
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back({ m_now + seconds, m_sequence++, shared });
    }
    return AnyCancellable([this, weak = std::weak_ptr(shared)] {
        std::lock_guard lock(m_mutex);
        auto target = weak.lock();
        std::erase_if(m_items, [&](const Item& item) { return item.work == target; });
    });
}

double ManualScheduler::now() const
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

std::size_t ManualScheduler::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

bool ManualScheduler::takeNext(double limit, std::function<void()>& work)
{
    std::lock_guard lock(m_mutex);
    auto next = std::min_element(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) {
        return a.due < b.due || (a.due == b.due && a.sequence < b.sequence);
    });
    if (next == m_items.end() || next->due > limit) {
        return false;
    }
    m_now = std::max(m_now, next->due);
    work = std::move(*next->work);
    m_items.erase(next);
    return true;
}

void ManualScheduler::runPending()
{
    advance(0);
}

void ManualScheduler::advance(double seconds)
{
    const double target = now() + std::max(0.0, seconds);
    while (true) {
        // One item at a time, released before the next is taken: work may hold a cancellable of
        // this scheduler, and releasing it takes the lock that takeNext() holds.
        std::function<void()> work;
        if (!takeNext(target, work)) {
            break;
        }
        if (work) {
            work();
        }
    }
    std::lock_guard lock(m_mutex);
    m_now = std::max(m_now, target);
}

} // namespace platform::combine
