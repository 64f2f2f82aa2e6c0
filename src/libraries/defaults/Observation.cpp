#include "libraries/defaults/Observation.h"

namespace Defaults {

std::shared_ptr<DefaultsObservation> observe(const std::vector<std::reference_wrapper<const Keys>>& keys,
    ObservationOptions options, std::function<void()> handler)
{
    std::vector<CompositeUserDefaultsKeyObservation::SuiteKeyPair> pairs;
    pairs.reserve(keys.size());
    for (const Keys& key : keys) {
        pairs.push_back({ key.suite(), key.name() });
    }
    auto observation = CompositeUserDefaultsKeyObservation::make(
        std::move(pairs), [handler = std::move(handler)](const BaseChange&) { handler(); });
    observation->start(options);
    return observation;
}

} // namespace Defaults
