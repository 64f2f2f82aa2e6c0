#pragma once

#include "libraries/defaults/DefaultsObservation.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Defaults {

// One observation of several keys, possibly in different suites, with one callback for a change of
// any of them (called once per listed key, so a key listed twice is heard twice). Deliveries and
// suppression are as for UserDefaultsKeyObservation.
class CompositeUserDefaultsKeyObservation final : public DefaultsObservation {
public:
    struct SuiteKeyPair {
        std::weak_ptr<platform::UserDefaults> suite;
        std::string key;
    };

    static std::shared_ptr<CompositeUserDefaultsKeyObservation> make(
        std::vector<SuiteKeyPair> observables, Callback callback);
    ~CompositeUserDefaultsKeyObservation() override;

    // Registers with every pair's suite, in order; with `initial`, one record per pair. Starting
    // again, or after invalidate(), does nothing.
    void start(ObservationOptions options);
    void invalidate() override;

private:
    CompositeUserDefaultsKeyObservation(std::vector<SuiteKeyPair> observables, Callback callback);
    void end();

    std::mutex m_mutex;
    std::vector<SuiteKeyPair> m_observables;
    Callback m_callback;
    std::shared_ptr<detail::ObservationDelivery> m_delivery;
    std::vector<std::pair<std::weak_ptr<platform::UserDefaults>, platform::UserDefaults::ObserverId>>
        m_observerIds;
    bool m_ended = false;
};

} // namespace Defaults
