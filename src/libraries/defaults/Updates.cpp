#include "libraries/defaults/Updates.h"

namespace Defaults {

platform::async::AsyncStream<platform::combine::Void> updates(
    const std::vector<std::reference_wrapper<const Keys>>& keys, bool initial)
{
    using Stream = platform::async::AsyncStream<platform::combine::Void>;
    std::vector<CompositeUserDefaultsKeyObservation::SuiteKeyPair> pairs;
    pairs.reserve(keys.size());
    for (const Keys& key : keys) {
        pairs.push_back({ key.suite(), key.name() });
    }
    return Stream([&pairs, initial](Stream::Continuation continuation) {
        auto observation = CompositeUserDefaultsKeyObservation::make(std::move(pairs),
            [continuation](const BaseChange&) { continuation.yield(platform::combine::Void {}); });
        observation->start(
            initial ? ObservationOptions { ObservationOption::initial } : ObservationOptions {});
        continuation.setOnTermination(
            [observation](platform::async::Termination) { observation->invalidate(); });
    });
}

} // namespace Defaults
