#pragma once

#include "libraries/defaults/Keys.h"
#include "libraries/defaults/UserDefaultsKeyObservation.h"
#include "platform/combine/AnyPublisher.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Publishers of settings changes. They never complete and never fail; each subscriber gets its
// own observation, which ends when its cancellable is cancelled or destroyed. Values are delivered
// synchronously on the writing thread (the `initial` record inside the subscribe call); add
// receiveOnMain() where the main thread is needed.
namespace Defaults {

// The raw changes of `key` in `suite`.
platform::combine::AnyPublisher<BaseChange> defaultsPublisher(
    const std::shared_ptr<platform::UserDefaults>& suite, const std::string& key, ObservationOptions options);

// The typed changes of `key`; unconvertible values arrive as the key's default.
template <Storable Value>
platform::combine::AnyPublisher<KeyChange<Value>> publisher(const Key<Value>& key, ObservationOptions options)
{
    return defaultsPublisher(key.suite(), key.name(), options)
        .map([defaultValue = key.defaultValue()](
                 const BaseChange& change) { return KeyChange<Value>(change, defaultValue); });
}

// One event per change of any of `keys` (a key listed twice, two). With no keys it never emits.
platform::combine::AnyPublisher<platform::combine::Void> publisher(
    const std::vector<std::reference_wrapper<const Keys>>& keys, ObservationOptions options);

} // namespace Defaults
