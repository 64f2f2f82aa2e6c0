#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/ObservableObjectPublisher.h"

#include <memory>
#include <optional>

namespace zk {

// Says "about to change" for every value a publisher sends, received on the main thread; the values
// themselves are ignored. A view that only needs to redraw on a change listens to it. The
// subscription lives as long as the object. Main-thread only.
class ListenOnlyPublisherObservable {
public:
    template <class T>
    explicit ListenOnlyPublisherObservable(const platform::combine::AnyPublisher<T>& publisher,
        platform::combine::Scheduler& scheduler = platform::combine::Scheduler::main())
        : m_willChange(std::make_shared<platform::combine::ObservableObjectPublisher>())
    {
        // Holds the announcement weakly: a value still on its way when the object goes says nothing.
        m_subscription = publisher.receiveOn(scheduler).sink([weak = std::weak_ptr(m_willChange)](const T&) {
            if (const auto willChange = weak.lock()) {
                willChange->send();
            }
        });
    }

    const platform::combine::ObservableObjectPublisher& objectWillChange() const { return *m_willChange; }

private:
    std::shared_ptr<platform::combine::ObservableObjectPublisher> m_willChange;
    std::optional<platform::combine::AnyCancellable> m_subscription;
};

} // namespace zk
