#include "kit/foundation/SystemEventPublishers.h"

#include "platform/desktop/SystemEvents.h"
#include "platform/store/UserDefaults.h"

#include <QObject>

namespace zk {

namespace {

using platform::combine::AnyCancellable;
using platform::combine::AnyPublisher;
using platform::combine::Subscriber;
using platform::combine::Void;

using Signal = void (platform::SystemEvents::*)();

// Every subscription is its own connection to the signal of the events installed when it is made.
AnyPublisher<Void> publisher(Signal signal)
{
    return AnyPublisher<Void>([signal](const Subscriber<Void>& subscriber) {
        platform::SystemEvents& events = platform::SystemEvents::shared();
        const QMetaObject::Connection connection = QObject::connect(
            &events, signal, &events, [subscriber] { subscriber.receive(Void {}); }, Qt::DirectConnection);
        return AnyCancellable([connection] { QObject::disconnect(connection); });
    });
}

} // namespace

const AnyPublisher<Void>& SystemEvents::willTerminate()
{
    static const AnyPublisher<Void> shared = publisher(&platform::SystemEvents::willTerminate);
    return shared;
}

const AnyPublisher<Void>& SystemEvents::didWake()
{
    static const AnyPublisher<Void> shared = publisher(&platform::SystemEvents::didWake);
    return shared;
}

const AnyPublisher<Void>& SystemEvents::willSleep()
{
    static const AnyPublisher<Void> shared = publisher(&platform::SystemEvents::willSleep);
    return shared;
}

const AnyPublisher<bool>& SystemEvents::isAwake()
{
    static const AnyPublisher<bool> shared
        = didWake().map([](const Void&) { return true; }).merge(willSleep().map([](const Void&) {
              return false;
          }));
    return shared;
}

const AnyPublisher<Void>& SystemEvents::userDefaultsDidChange()
{
    static const AnyPublisher<Void> shared([](const Subscriber<Void>& subscriber) {
        const auto id
            = platform::UserDefaults::addDidChangeObserver([subscriber] { subscriber.receive(Void {}); });
        return AnyCancellable([id] { platform::UserDefaults::removeDidChangeObserver(id); });
    });
    return shared;
}

} // namespace zk
