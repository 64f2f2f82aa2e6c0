#pragma once

#include "libraries/defaults/DefaultsObservation.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Defaults {

// The observation of one key of one suite. The callback runs synchronously on the thread that
// wrote the value (for the `initial` record, on the thread that starts the observation), never
// for writes made on a thread that suppresses propagation. The suite is held weakly: an
// observation of a suite that is gone delivers nothing.
class UserDefaultsKeyObservation final : public DefaultsObservation {
public:
    static std::shared_ptr<UserDefaultsKeyObservation> make(
        const std::shared_ptr<platform::UserDefaults>& suite, std::string key, Callback callback);
    ~UserDefaultsKeyObservation() override;

    // Registers with the suite; with `initial`, calls back once with the current value before it
    // returns. Starting again, or after invalidate(), does nothing, so that one observation never
    // hears a change twice.
    void start(ObservationOptions options);
    void invalidate() override;

    const std::string& key() const { return m_key; }

private:
    UserDefaultsKeyObservation(
        const std::shared_ptr<platform::UserDefaults>& suite, std::string key, Callback callback);
    void end();

    const std::string m_key;
    std::mutex m_mutex;
    std::weak_ptr<platform::UserDefaults> m_object;
    Callback m_callback; // handed to the delivery at start
    std::shared_ptr<detail::ObservationDelivery> m_delivery;
    std::optional<platform::UserDefaults::ObserverId> m_observerId;
    bool m_ended = false;
};

} // namespace Defaults
