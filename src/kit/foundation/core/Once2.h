#pragma once

#include "kit/foundation/core/UnfairLock.h"

#include <functional>
#include <optional>
#include <variant>

namespace zk {

// A closure queued to run once: the first call of run() runs it and keeps its result; later calls
// return that result. Dropping it before then drops the closure unrun. Any thread may call run();
// the closure runs under the lock, so it must not call run() on the same object.
template <class Value> class Once2 {
public:
    struct Queued {
        std::function<Value()> closure;
    };
    struct Executed { };
    using State = std::variant<Queued, Executed>;

    explicit Once2(std::function<Value()> closure)
        : m_state(Queued { std::move(closure) })
    {
    }
    Once2(const Once2&) = delete;
    Once2& operator=(const Once2&) = delete;

    Value run()
    {
        std::lock_guard guard(m_lock);
        if (auto* queued = std::get_if<Queued>(&m_state)) {
            // A closure that throws stays queued for the next caller.
            Value value = queued->closure();
            m_value = value;
            m_state = Executed {};
        }
        return *m_value;
    }
    bool isExecuted() const
    {
        std::lock_guard guard(m_lock);
        return std::holds_alternative<Executed>(m_state);
    }

private:
    mutable UnfairLock m_lock;
    State m_state;
    std::optional<Value> m_value;
};

} // namespace zk
