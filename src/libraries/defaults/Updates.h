#pragma once

#include "libraries/defaults/CompositeUserDefaultsKeyObservation.h"
#include "libraries/defaults/Keys.h"
#include "libraries/defaults/UserDefaultsKeyObservation.h"
#include "platform/async/AsyncStream.h"
#include "platform/combine/Completion.h"

#include <functional>
#include <memory>
#include <vector>

// Settings keys as asynchronous streams of their values, for coroutines:
//
//   auto stream = Defaults::valueStream(key);
//   while (auto value = co_await stream.next(token)) { ... }
//
// The buffer is unbounded: a slow consumer sees every change, in order. The stream owns its
// observation and ends it when the stream terminates (its consumer handles are all gone, or the
// consumer was cancelled while waiting); the library never finishes a stream by itself.
namespace Defaults {

// The values of `key`: with `initial`, first the current value (available before any write), then
// the new value of each change; a removal gives the key's default, as does a value that does not
// convert. Writes made with propagation suppressed on the writing thread give nothing.
template <Storable Value>
platform::async::AsyncStream<Value> valueStream(const Key<Value>& key, bool initial = true)
{
    using Stream = platform::async::AsyncStream<Value>;
    return Stream([&key, initial](typename Stream::Continuation continuation) {
        auto observation = UserDefaultsKeyObservation::make(key.suite(), key.name(),
            [defaultValue = key.defaultValue(), continuation](const BaseChange& change) {
                continuation.yield(KeyChange<Value>(change, defaultValue).newValue);
            });
        observation->start(
            initial ? ObservationOptions { ObservationOption::initial } : ObservationOptions {});
        // From here on the termination handler is the observation's only holder.
        continuation.setOnTermination(
            [observation](platform::async::Termination) { observation->invalidate(); });
    });
}

// The same stream under the name the rest of the code base uses for it.
template <Storable Value>
platform::async::AsyncStream<Value> updates(const Key<Value>& key, bool initial = true)
{
    return valueStream(key, initial);
}

// One element per change of any of `keys` (and, with `initial`, one per key at once).
platform::async::AsyncStream<platform::combine::Void> updates(
    const std::vector<std::reference_wrapper<const Keys>>& keys, bool initial = false);

} // namespace Defaults
