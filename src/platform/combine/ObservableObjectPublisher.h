#pragma once

#include "platform/combine/PassthroughSubject.h"

namespace platform::combine {

// The will-change announcement of an observable object: send() tells subscribers that the object
// is about to change. Objects expose it as `objectWillChange()`.
class ObservableObjectPublisher {
public:
    void send() const { m_subject.send(); }
    AnyPublisher<Void> eraseToAnyPublisher() const { return m_subject.eraseToAnyPublisher(); }
    [[nodiscard]] AnyCancellable sink(std::function<void(const Void&)> receive) const
    {
        return m_subject.sink(std::move(receive));
    }

private:
    PassthroughSubject<Void> m_subject;
};

} // namespace platform::combine
