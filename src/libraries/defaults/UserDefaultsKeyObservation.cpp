#include "libraries/defaults/UserDefaultsKeyObservation.h"

#include <utility>

namespace Defaults {

std::shared_ptr<UserDefaultsKeyObservation> UserDefaultsKeyObservation::make(
    const std::shared_ptr<platform::UserDefaults>& suite, std::string key, Callback callback)
{
    return std::shared_ptr<UserDefaultsKeyObservation>(
        new UserDefaultsKeyObservation(suite, std::move(key), std::move(callback)));
}

UserDefaultsKeyObservation::UserDefaultsKeyObservation(
    const std::shared_ptr<platform::UserDefaults>& suite, std::string key, Callback callback)
    : m_key(std::move(key))
    , m_object(suite)
    , m_callback(std::move(callback))
{
}

UserDefaultsKeyObservation::~UserDefaultsKeyObservation()
{
    end();
}

void UserDefaultsKeyObservation::start(ObservationOptions options)
{
    std::shared_ptr<platform::UserDefaults> suite;
    std::shared_ptr<detail::ObservationDelivery> delivery;
    {
        std::lock_guard lock(m_mutex);
        if (m_ended || m_delivery) {
            return;
        }
        suite = m_object.lock();
        if (!suite) {
            return;
        }
        delivery = std::make_shared<detail::ObservationDelivery>(std::move(m_callback), options);
        m_callback = nullptr;
        m_delivery = delivery;
        // Adding a listener calls nobody, so it may happen under the lock.
        m_observerId = detail::ObservationDelivery::registerWith(delivery, *suite, m_key);
    }
    // After registering, so that a write made meanwhile on another thread is not lost.
    if (options.sendsInitial()) {
        delivery->deliverInitial(suite->objectForKey(m_key));
    }
}

void UserDefaultsKeyObservation::invalidate()
{
    // Ending may release the lifetime tie's reference, which may be the last one.
    auto self = weak_from_this().lock();
    end();
}

void UserDefaultsKeyObservation::end()
{
    std::shared_ptr<platform::UserDefaults> suite;
    std::shared_ptr<detail::ObservationDelivery> delivery;
    std::optional<platform::UserDefaults::ObserverId> observerId;
    Callback unstarted;
    {
        std::lock_guard lock(m_mutex);
        if (m_ended) {
            return;
        }
        m_ended = true;
        suite = m_object.lock();
        m_object.reset();
        delivery = std::move(m_delivery);
        observerId = std::exchange(m_observerId, std::nullopt);
        unstarted = std::move(m_callback);
    }
    if (delivery) {
        delivery->end();
    }
    if (suite && observerId) {
        suite->removeObserver(*observerId);
    }
    cancelLifetimeTie();
}

} // namespace Defaults
