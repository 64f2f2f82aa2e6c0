#pragma once

#include "kit/foundation/PropertyChangeRelay.h"
#include "platform/combine/AnyCancellable.h"
#include "platform/combine/ObservableObjectPublisher.h"

#include <QMetaProperty>
#include <QObject>
#include <QPointer>

#include <optional>
#include <utility>

namespace zk {

// An observable object holding one value: every change is announced on objectWillChange() before
// it takes effect. What feeds it is up to its owner, who may keep that subscription in it for the
// object's life. Main-thread only.
template <class Value> class ObservableValue {
public:
    explicit ObservableValue(Value value)
        : m_value(std::move(value))
    {
    }
    const Value& wrappedValue() const { return m_value; }
    void setWrappedValue(Value value)
    {
        m_willChange.send();
        m_value = std::move(value);
    }
    const platform::combine::ObservableObjectPublisher& objectWillChange() const { return m_willChange; }
    void setCancellable(platform::combine::AnyCancellable cancellable)
    {
        m_cancellable = std::move(cancellable);
    }

private:
    platform::combine::ObservableObjectPublisher m_willChange;
    std::optional<platform::combine::AnyCancellable> m_cancellable;
    Value m_value;
};

// An observable object following one property of a QObject: it reads the property at creation and
// again at each change the property announces through its notify signal, announcing each change
// first. Dropping it ends the observation. Main-thread only.
template <class Value> class KVOObservable {
public:
    KVOObservable(QObject* object, const char* propertyName)
        : m_object(object)
        , m_property(object->metaObject()->property(object->metaObject()->indexOfProperty(propertyName)))
        , m_value(m_property.read(object).template value<Value>())
        , m_relay(object, m_property, [this] { reread(); })
    {
    }

    const Value& value() const { return m_value; }
    const platform::combine::ObservableObjectPublisher& objectWillChange() const { return m_willChange; }
    bool isObserving() const { return m_relay.isFollowing(); }

private:
    void reread()
    {
        if (!m_object) {
            return;
        }
        m_willChange.send();
        m_value = m_property.read(m_object).template value<Value>();
    }

    QPointer<QObject> m_object;
    QMetaProperty m_property;
    platform::combine::ObservableObjectPublisher m_willChange;
    Value m_value;
    PropertyChangeRelay m_relay;
};

} // namespace zk
