#pragma once

#include <mutex>
#include <utility>

namespace zk {

// A plain, non-recursive mutual-exclusion lock for short critical sections, usable from any
// thread. It stays at one address for its life; share it by reference, never copy it. A thread
// holding it must not lock it again.
class UnfairLock {
public:
    UnfairLock() = default;
    UnfairLock(const UnfairLock&) = delete;
    UnfairLock& operator=(const UnfairLock&) = delete;

    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

    // Runs `f` while holding the lock and returns its result.
    template <class F>
    auto withLock(F&& f) -> decltype(f())
    {
        std::lock_guard guard(m_mutex);
        return std::forward<F>(f)();
    }

private:
    std::mutex m_mutex;
};

} // namespace zk
