#include "libraries/defaults/CompositeUserDefaultsKeyObservation.h"

#include <utility>

namespace Defaults {

std::shared_ptr<CompositeUserDefaultsKeyObservation> CompositeUserDefaultsKeyObservation::make(
    std::vector<SuiteKeyPair> observables, Callback callback)
{
    return std::shared_ptr<CompositeUserDefaultsKeyObservation>(
        new CompositeUserDefaultsKeyObservation(std::move(observables), std::move(callback)));
}

CompositeUserDefaultsKeyObservation::CompositeUserDefaultsKeyObservation(
    std::vector<SuiteKeyPair> observables, Callback callback)
    : m_observables(std::move(observables))
    , m_callback(std::move(callback))
{
}

CompositeUserDefaultsKeyObservation::~CompositeUserDefaultsKeyObservation()
{
    end();
}

void CompositeUserDefaultsKeyObservation::start(ObservationOptions options)
{
    std::shared_ptr<detail::ObservationDelivery> delivery;
    std::vector<std::pair<std::shared_ptr<platform::UserDefaults>, std::string>> initial;
    {
        std::lock_guard lock(m_mutex);
        if (m_ended || m_delivery) {
            return;
        }
        delivery = std::make_shared<detail::ObservationDelivery>(std::move(m_callback), options);
        m_callback = nullptr;
        m_delivery = delivery;
        for (const auto& pair : m_observables) {
            auto suite = pair.suite.lock();
            if (!suite) {
                continue;
            }
            m_observerIds.emplace_back(
                suite, detail::ObservationDelivery::registerWith(delivery, *suite, pair.key));
            if (options.sendsInitial()) {
                initial.emplace_back(std::move(suite), pair.key);
            }
        }
    }
    for (const auto& [suite, key] : initial) {
        delivery->deliverInitial(suite->objectForKey(key));
    }
}

void CompositeUserDefaultsKeyObservation::invalidate()
{
    auto self = weak_from_this().lock();
    end();
}

void CompositeUserDefaultsKeyObservation::end()
{
    std::shared_ptr<detail::ObservationDelivery> delivery;
    std::vector<std::pair<std::weak_ptr<platform::UserDefaults>, platform::UserDefaults::ObserverId>>
        observerIds;
    Callback unstarted;
    {
        std::lock_guard lock(m_mutex);
        if (m_ended) {
            return;
        }
        m_ended = true;
        delivery = std::move(m_delivery);
        observerIds.swap(m_observerIds);
        for (auto& pair : m_observables) {
            pair.suite.reset();
        }
        unstarted = std::move(m_callback);
    }
    if (delivery) {
        delivery->end();
    }
    for (const auto& [weakSuite, id] : observerIds) {
        if (auto suite = weakSuite.lock()) {
            suite->removeObserver(id);
        }
    }
    cancelLifetimeTie();
}

} // namespace Defaults
