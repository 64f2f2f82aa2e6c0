#pragma once

#include "platform/combine/Completion.h"

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace platform::combine {

// The receiving end of one subscription. Copies share one state, so an operator can hand its
// downstream subscriber to several places. Once cancelled or completed it receives nothing more,
// even a value already being delivered to other subscribers of the same publisher: the flag is
// checked right before every call.
template <class T> class Subscriber {
public:
    using ValueFunction = std::function<void(const T&)>;
    using CompletionFunction = std::function<void(const Completion&)>;

    explicit Subscriber(ValueFunction receiveValue, CompletionFunction receiveCompletion = {})
        : m_state(std::make_shared<State>(std::move(receiveValue), std::move(receiveCompletion)))
    {
    }

    void receive(const T& value) const
    {
        if (m_state->active.load(std::memory_order_acquire) && m_state->receiveValue) {
            m_state->receiveValue(value);
        }
    }

    // Delivered at most once; the subscriber is inactive afterwards.
    void receive(const Completion& completion) const
    {
        if (m_state->active.exchange(false) && m_state->receiveCompletion) {
            m_state->receiveCompletion(completion);
        }
    }

    void cancel() const { m_state->active.store(false, std::memory_order_release); }
    bool isActive() const { return m_state->active.load(std::memory_order_acquire); }

    friend bool operator==(const Subscriber& a, const Subscriber& b) { return a.m_state == b.m_state; }

private:
    struct State {
        State(ValueFunction v, CompletionFunction c)
            : receiveValue(std::move(v))
            , receiveCompletion(std::move(c))
        {
        }
        std::atomic<bool> active { true };
        ValueFunction receiveValue;
        CompletionFunction receiveCompletion;
    };
    std::shared_ptr<State> m_state;
};

} // namespace platform::combine
