#pragma once

#include "kit/foundation/core/FatalError.h"
#include "kit/foundation/core/UnfairLock.h"

#include <any>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace zk {

// Runs a closure the first time it is asked and returns the stored result ever after, across
// threads. The lock is held while the closure runs, so a second caller waits for the first run and
// then gets its result; the closure never runs twice or concurrently. One Once serves one result
// type; asking it for another is a programmer error that stops the program. A closure must not
// ask its own Once again.
class Once {
public:
    Once() = default;
    Once(const Once&) = delete;
    Once& operator=(const Once&) = delete;

    template <class F> auto run(F&& f) -> std::invoke_result_t<F>
    {
        using T = std::invoke_result_t<F>;
        std::lock_guard guard(m_lock);
        // A closure that throws has not run: the next caller runs one again, instead of finding
        // no result where one should be.
        if constexpr (std::is_void_v<T>) {
            if (!m_hasRun) {
                std::forward<F>(f)();
                m_hasRun = true;
            }
        } else {
            if (!m_hasRun) {
                T result = std::forward<F>(f)();
                m_value = result;
                m_hasRun = true;
                return result;
            }
            if (const T* stored = std::any_cast<T>(&m_value)) {
                return *stored;
            }
            fatalError("Once asked for a result of another type than its first run gave");
        }
    }

    bool hasRun()
    {
        std::lock_guard guard(m_lock);
        return m_hasRun;
    }

private:
    UnfairLock m_lock;
    bool m_hasRun = false;
    std::any m_value;
};

// Computes a value from an input once and keeps it; later inputs are ignored. Not synchronised:
// for use on one thread. Equal only to itself (by identity, whatever it holds).
template <class Input, class Output> class SimpleOnce {
public:
    explicit SimpleOnce(std::function<Output(const Input&)> closure)
        : m_closure(std::move(closure))
    {
    }
    SimpleOnce(const SimpleOnce&) = delete;
    SimpleOnce& operator=(const SimpleOnce&) = delete;

    const Output& operator()(const Input& input)
    {
        if (!m_cache) {
            m_cache = m_closure(input);
        }
        return *m_cache;
    }

    friend bool operator==(const SimpleOnce& a, const SimpleOnce& b) { return &a == &b; }

private:
    std::function<Output(const Input&)> m_closure;
    std::optional<Output> m_cache;
};

} // namespace zk

template <class Input, class Output> struct std::hash<zk::SimpleOnce<Input, Output>> {
    std::size_t operator()(const zk::SimpleOnce<Input, Output>& once) const noexcept
    {
        return std::hash<const void*> {}(&once);
    }
};
