#include "libraries/defaults/DefaultsObservation.h"

#include "libraries/defaults/Defaults.h"

#include <QObject>

#include <utility>

namespace Defaults {

DefaultsObservation::~DefaultsObservation()
{
    cancelLifetimeTie();
}

std::shared_ptr<DefaultsObservation> DefaultsObservation::tieToLifetime(QObject* owner)
{
    auto self = shared_from_this();
    if (!owner) {
        return self;
    }
    // The connection's function is the owner's strong reference: Qt releases it when the owner is
    // destroyed (after the call) or when the tie is cancelled.
    auto tie = QObject::connect(owner, &QObject::destroyed, [self] { self->invalidate(); });
    QMetaObject::Connection previous;
    {
        std::lock_guard lock(m_tieMutex);
        previous = std::exchange(m_tie, tie);
    }
    QObject::disconnect(previous);
    return self;
}

void DefaultsObservation::removeLifetimeTie()
{
    // Cancelling may release the owner's reference, which may be the last one.
    auto self = weak_from_this().lock();
    cancelLifetimeTie();
}

void DefaultsObservation::cancelLifetimeTie()
{
    QMetaObject::Connection tie;
    {
        std::lock_guard lock(m_tieMutex);
        tie = std::exchange(m_tie, QMetaObject::Connection());
    }
    // Outside the lock: disconnecting releases the connection's reference to this observation.
    QObject::disconnect(tie);
}

namespace detail {

ObservationDelivery::ObservationDelivery(DefaultsObservation::Callback callback, ObservationOptions options)
    : m_options(options)
    , m_callback(std::make_shared<const DefaultsObservation::Callback>(std::move(callback)))
{
}

std::shared_ptr<const DefaultsObservation::Callback> ObservationDelivery::current() const
{
    std::lock_guard lock(m_mutex);
    return m_callback;
}

void ObservationDelivery::deliver(const BaseChange& change)
{
    // Checked on the delivering thread, which for a write is the writing one: a thread that
    // rewrites values with propagation suppressed silences only its own writes.
    if (isPropagationSuppressed()) {
        return;
    }
    if (auto callback = current(); callback && *callback) {
        (*callback)(change);
    }
}

void ObservationDelivery::deliverChange(const std::optional<platform::PropertyList>& oldValue,
    const std::optional<platform::PropertyList>& newValue)
{
    if (m_options.sendsPrior()) {
        // The suite tells only after a write, so the prior record comes right before the ordinary
        // one instead of before the write; it carries what the value was.
        deliver(BaseChange { KeyValueChange::setting, std::nullopt, true, std::nullopt, oldValue });
    }
    deliver(BaseChange { KeyValueChange::setting, std::nullopt, false, newValue, oldValue });
}

void ObservationDelivery::deliverInitial(const std::optional<platform::PropertyList>& currentValue)
{
    deliver(BaseChange { KeyValueChange::setting, std::nullopt, false, currentValue, std::nullopt });
}

void ObservationDelivery::end()
{
    std::shared_ptr<const DefaultsObservation::Callback> released;
    {
        std::lock_guard lock(m_mutex);
        released = std::move(m_callback);
    }
    // Released outside the lock: the callback's captures may end other observations.
}

platform::UserDefaults::ObserverId ObservationDelivery::registerWith(
    const std::shared_ptr<ObservationDelivery>& delivery, platform::UserDefaults& suite,
    const std::string& key)
{
    return suite.addObserver(key,
        [delivery](const std::string&, const std::optional<platform::PropertyList>& oldValue,
            const std::optional<platform::PropertyList>& newValue) {
            delivery->deliverChange(oldValue, newValue);
        });
}

} // namespace detail

} // namespace Defaults
