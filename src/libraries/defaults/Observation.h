#pragma once

#include "libraries/defaults/CompositeUserDefaultsKeyObservation.h"
#include "libraries/defaults/Keys.h"
#include "libraries/defaults/UserDefaultsKeyObservation.h"

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

// Observation of settings keys through callbacks.
//
//   auto observation = Defaults::observe(key, { Defaults::ObservationOption::initial },
//       [](const Defaults::KeyChange<bool>& change) { ... });
//   Defaults::observe(key, {}, handler)->tieToLifetime(this);   // ends with `this`
//
// Handlers run synchronously on the writing thread; those that must run on the main thread move
// there themselves.
namespace Defaults {

// Calls `handler` with a typed record of each change of `key`; the result ends the observation
// when released.
template <Storable Value>
[[nodiscard]] std::shared_ptr<DefaultsObservation> observe(const Key<Value>& key, ObservationOptions options,
    std::type_identity_t<std::function<void(const KeyChange<Value>&)>> handler)
{
    auto observation = UserDefaultsKeyObservation::make(key.suite(), key.name(),
        [defaultValue = key.defaultValue(), handler = std::move(handler)](
            const BaseChange& change) { handler(KeyChange<Value>(change, defaultValue)); });
    observation->start(options);
    return observation;
}

// Calls `handler` once for each change of any of `keys`.
[[nodiscard]] std::shared_ptr<DefaultsObservation> observe(
    const std::vector<std::reference_wrapper<const Keys>>& keys, ObservationOptions options,
    std::function<void()> handler);

} // namespace Defaults
