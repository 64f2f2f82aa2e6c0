#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/SubscriberList.h"

#include <memory>

namespace platform::combine {

// A publisher into which its owner sends values by hand; subscribers get only what is sent after
// they subscribed. A handle: copies share one subject, and publishers made from it keep it alive.
// Safe to send from any thread; no lock is held while subscribers run.
template <class T> class PassthroughSubject {
public:
    PassthroughSubject()
        : m_list(std::make_shared<SubscriberList<T>>())
    {
    }

    void send(const T& value) const { m_list->send(value); }
    void send() const requires std::is_same_v<T, Void> { m_list->send(Void {}); }
    // Ends the subject for good: later values are dropped, later subscribers get this completion.
    void sendCompletion(const Completion& completion = Completion::finished()) const
    {
        m_list->complete(completion);
    }

    AnyPublisher<T> eraseToAnyPublisher() const
    {
        return AnyPublisher<T>(
            [list = m_list](const Subscriber<T>& subscriber) { return list->add(subscriber); });
    }
    operator AnyPublisher<T>() const { return eraseToAnyPublisher(); }

    [[nodiscard]] AnyCancellable sink(typename Subscriber<T>::ValueFunction receiveValue) const
    {
        return eraseToAnyPublisher().sink(std::move(receiveValue));
    }

    std::size_t subscriberCount() const { return m_list->count(); }

private:
    std::shared_ptr<SubscriberList<T>> m_list;
};

} // namespace platform::combine
