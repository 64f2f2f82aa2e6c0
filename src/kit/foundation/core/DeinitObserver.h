#pragma once

#include <functional>
#include <utility>

namespace zk {

// Runs its closure once when it is destroyed: hold it (for example in a shared_ptr kept by an
// owner) for as long as the closure should wait. Not copyable, so the closure cannot run twice.
class DeinitObserver {
public:
    explicit DeinitObserver(std::function<void()> closure)
        : m_closure(std::move(closure))
    {
    }
    ~DeinitObserver()
    {
        if (auto closure = std::exchange(m_closure, nullptr)) {
            closure();
        }
    }
    DeinitObserver(const DeinitObserver&) = delete;
    DeinitObserver& operator=(const DeinitObserver&) = delete;

private:
    std::function<void()> m_closure;
};

} // namespace zk
