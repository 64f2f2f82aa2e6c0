#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/SubscriberList.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::combine {

// A subject that holds a current value: a new subscriber receives it at once, synchronously inside
// the subscribe call, then every value sent afterwards. A handle: copies share one subject.
// Safe to send from any thread; no lock is held while subscribers run.
template <class T> class CurrentValueSubject {
public:
    explicit CurrentValueSubject(T initial)
        : m_state(std::make_shared<State>(std::move(initial)))
    {
    }

    T value() const
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->value;
    }

    // Stores `value` and sends it to every subscriber. Ignored once the subject has completed.
    void send(const T& value) const
    {
        if (m_state->list->completion()) {
            return;
        }
        std::vector<Subscriber<T>> subscribers;
        {
            // The subscribers are taken with the value, so one that joins right after this store
            // (having received this value as its current one) does not get it twice.
            std::lock_guard lock(m_state->mutex);
            m_state->value = value;
            ++m_state->version;
            subscribers = m_state->list->snapshot();
        }
        for (const Subscriber<T>& subscriber : subscribers) {
            subscriber.receive(value);
        }
    }

    void sendCompletion(const Completion& completion = Completion::finished()) const
    {
        m_state->list->complete(completion);
    }

    AnyPublisher<T> eraseToAnyPublisher() const
    {
        return AnyPublisher<T>(
            [state = m_state](const Subscriber<T>& subscriber) { return subscribe(state, subscriber); });
    }
    operator AnyPublisher<T>() const { return eraseToAnyPublisher(); }

    [[nodiscard]] AnyCancellable sink(typename Subscriber<T>::ValueFunction receiveValue) const
    {
        return eraseToAnyPublisher().sink(std::move(receiveValue));
    }

    std::size_t subscriberCount() const { return m_state->list->count(); }

private:
    struct State {
        explicit State(T initial)
            : value(std::move(initial))
        {
        }
        std::mutex mutex;
        T value;
        std::uint64_t version = 0;
        std::shared_ptr<SubscriberList<T>> list = std::make_shared<SubscriberList<T>>();
    };

    // The current value goes out before the subscriber joins the list; if a send slipped in
    // meanwhile, the newer value follows, so the subscriber ends up with the latest value and
    // sees the later ones in order.
    static AnyCancellable subscribe(const std::shared_ptr<State>& state, const Subscriber<T>& subscriber)
    {
        if (state->list->completion()) {
            return state->list->add(subscriber);
        }
        std::unique_lock lock(state->mutex);
        while (true) {
            T current = state->value;
            const std::uint64_t version = state->version;
            lock.unlock();
            subscriber.receive(current);
            if (!subscriber.isActive()) {
                return AnyCancellable();
            }
            lock.lock();
            if (version == state->version) {
                // Joining under the value lock: a send cannot store a newer value in between.
                if (auto cancellable = state->list->tryAdd(subscriber)) {
                    return std::move(*cancellable);
                }
                lock.unlock();
                return state->list->add(subscriber); // completed meanwhile: delivers the completion
            }
        }
    }

    std::shared_ptr<State> m_state;
};

} // namespace platform::combine
