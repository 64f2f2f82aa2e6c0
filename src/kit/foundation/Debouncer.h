#pragma once

#include "kit/foundation/core/Duration.h"

#include <atomic>
#include <functional>
#include <memory>

namespace zk {

// Runs only the last of a burst of calls, `delay` after it, on the main thread. Dropping the
// debouncer does not cancel work already scheduled. Main-thread only.
class Debouncer {
public:
    explicit Debouncer(Duration delay)
        : m_delay(delay)
    {
    }
    Duration delay() const { return m_delay; }
    // Schedules `work`, replacing work scheduled earlier that has not run yet.
    void call(std::function<void()> work);
    void cancel();

private:
    Duration m_delay;
    std::shared_ptr<std::atomic<bool>> m_workItemCancelled;
};

} // namespace zk
