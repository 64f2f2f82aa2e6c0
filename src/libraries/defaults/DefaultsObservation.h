#pragma once

#include "libraries/defaults/KeyChange.h"
#include "platform/store/UserDefaults.h"

#include <QMetaObject>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QObject;

namespace Defaults {

// An active observation of settings keys. It ends when invalidated, when its last holder releases
// it, or, once tied to an owner, when the owner is destroyed. Observations are always held through
// std::shared_ptr (their factories make them so), which is what lets an owner keep one alive.
class DefaultsObservation : public std::enable_shared_from_this<DefaultsObservation> {
public:
    using Callback = std::function<void(const BaseChange&)>;

    virtual ~DefaultsObservation();
    DefaultsObservation(const DefaultsObservation&) = delete;
    DefaultsObservation& operator=(const DefaultsObservation&) = delete;

    // Unregisters from the suite, so that no callback starts afterwards, and cancels the lifetime
    // tie. Safe from any thread and from inside the callback; calling it again does nothing.
    // A callback already running on another thread is not waited for.
    virtual void invalidate() = 0;

    // Lets `owner` keep the observation alive and end it when the owner is destroyed; the caller
    // need not hold the result. A previous tie is replaced.
    std::shared_ptr<DefaultsObservation> tieToLifetime(QObject* owner);
    // The owner no longer keeps the observation alive nor ends it; the observation goes on.
    void removeLifetimeTie();

protected:
    DefaultsObservation() = default;
    void cancelLifetimeTie();

private:
    std::mutex m_tieMutex;
    QMetaObject::Connection m_tie;
};

namespace detail {

// What a registration with the suite calls: the observation's callback while it lives, dropped
// when the writing thread suppresses propagation. Shared by the suite's listener and the
// observation, so that a delivery under way on another thread keeps what it calls alive.
class ObservationDelivery {
public:
    ObservationDelivery(DefaultsObservation::Callback callback, ObservationOptions options);

    // A change reported by the suite after a write.
    void deliverChange(const std::optional<platform::PropertyList>& oldValue,
        const std::optional<platform::PropertyList>& newValue);
    // The record of the `initial` option: the current value, nothing before it.
    void deliverInitial(const std::optional<platform::PropertyList>& currentValue);
    // No callback starts after this returns; the callback is released here (or by the last
    // delivery running, if one is).
    void end();

    const ObservationOptions& options() const { return m_options; }

    // Adds a listener of `key` to `suite` that hands its changes to `delivery`.
    static platform::UserDefaults::ObserverId registerWith(
        const std::shared_ptr<ObservationDelivery>& delivery, platform::UserDefaults& suite,
        const std::string& key);

private:
    std::shared_ptr<const DefaultsObservation::Callback> current() const;
    void deliver(const BaseChange& change);

    const ObservationOptions m_options;
    mutable std::mutex m_mutex;
    std::shared_ptr<const DefaultsObservation::Callback> m_callback;
};

} // namespace detail

} // namespace Defaults
