#pragma once

#include "libraries/defaults/Observable.h"
#include "libraries/defaults/Publishers.h"

#include <concepts>
#include <memory>
#include <utility>

namespace Defaults {

// A view's handle on one setting: reads and writes go to the store (nothing is cached), and
// `observable()` announces every change so that the view holding it can redraw:
//
//   Defaults::Default<bool> hidden(Keys::hideWelcome());
//   connect(hidden.observable(), &Defaults::ObservableBase::objectWillChange, this, &View::refresh);
//
// Each one has its own observable object, released with it. Main thread only.
template <Storable Value> class Default {
public:
    explicit Default(const Key<Value>& key)
        : m_observable(std::make_unique<Observable<Value>>(key))
    {
    }

    Value value() const { return m_observable->value(); }
    // Announces, then writes; an empty optional removes the stored value.
    void setValue(const Value& value) { m_observable->setValue(value); }

    // Reads the value, lets `change` edit it and writes it back once, also when `change` throws.
    template <std::invocable<Value&> Change> void modify(Change&& change)
    {
        Value value = this->value();
        try {
            std::forward<Change>(change)(value);
        } catch (...) {
            setValue(value);
            throw;
        }
        setValue(value);
    }

    const Value& defaultValue() const { return key().defaultValue(); }
    bool isDefaultValue() const requires std::equality_comparable<Value> { return value() == defaultValue(); }

    // The key's changes, starting with a record of the current value at subscription.
    platform::combine::AnyPublisher<KeyChange<Value>> publisher() const
    {
        return Defaults::publisher(key(), { ObservationOption::initial });
    }

    // Removes the stored value; the removal reaches the observable object as any other change.
    void reset() const { key().reset(); }

    ObservableBase* observable() const { return m_observable.get(); }
    const Key<Value>& key() const { return m_observable->key(); }

private:
    std::unique_ptr<Observable<Value>> m_observable;
};

} // namespace Defaults
