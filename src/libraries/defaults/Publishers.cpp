#include "libraries/defaults/Publishers.h"

namespace Defaults {

using platform::combine::AnyCancellable;
using platform::combine::AnyPublisher;
using platform::combine::Subscriber;
using platform::combine::Void;

AnyPublisher<BaseChange> defaultsPublisher(
    const std::shared_ptr<platform::UserDefaults>& suite, const std::string& key, ObservationOptions options)
{
    std::weak_ptr<platform::UserDefaults> weakSuite = suite;
    return AnyPublisher<BaseChange>([weakSuite, key, options](const Subscriber<BaseChange>& subscriber) {
        auto observation = UserDefaultsKeyObservation::make(
            weakSuite.lock(), key, [subscriber](const BaseChange& change) { subscriber.receive(change); });
        // The observation is held by the cancellable alone: cancelling ends it and releases the
        // subscriber with its callback.
        observation->start(options);
        return AnyCancellable([observation] { observation->invalidate(); });
    });
}

AnyPublisher<Void> publisher(
    const std::vector<std::reference_wrapper<const Keys>>& keys, ObservationOptions options)
{
    auto merged = platform::combine::emptyNeverCompleting<Void>();
    for (const Keys& key : keys) {
        merged = merged.merge(defaultsPublisher(key.suite(), key.name(), options).map([](const BaseChange&) {
            return Void {};
        }));
    }
    return merged;
}

} // namespace Defaults
