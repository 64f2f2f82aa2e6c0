#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/CurrentValueSubject.h"
#include "platform/combine/ObservableObjectPublisher.h"

#include <concepts>
#include <type_traits>
#include <utility>

namespace zk {

// A stored property of an observable object that announces and publishes only real changes:
// assigning a value equal to the current one through the owner does nothing. Copies share one
// value and one publisher.
//
// The owner forms (get/set/modify with the owner) announce on the owner's objectWillChange() when
// it is the standard ObservableObjectPublisher, before the new value is published; an owner with
// another kind of announcement gets none, but the value is still published. The direct forms
// (setWrappedValue, modifyWrappedValue) neither compare nor announce.
template <std::equality_comparable Value> class PublishedUnique {
public:
    explicit PublishedUnique(Value wrappedValue)
        : m_storage(std::move(wrappedValue))
    {
    }

    Value wrappedValue() const { return m_storage.value(); }
    void setWrappedValue(const Value& value) { m_storage.send(value); }
    template <class F> void modifyWrappedValue(F&& mutate)
    {
        Value copy = m_storage.value();
        std::forward<F>(mutate)(copy);
        m_storage.send(copy);
    }

    // The current value at once on subscription, then every accepted change.
    platform::combine::AnyPublisher<Value> projectedValue() const { return m_storage.eraseToAnyPublisher(); }

    template <class Owner> Value get(const Owner&) const { return m_storage.value(); }

    template <class Owner> void set(Owner& owner, const Value& value)
    {
        if (value == m_storage.value()) {
            return;
        }
        if constexpr (requires {
                          requires std::same_as<std::remove_cvref_t<decltype(owner.objectWillChange())>,
                              platform::combine::ObservableObjectPublisher>;
                      }) {
            owner.objectWillChange().send();
        }
        m_storage.send(value);
    }

    template <class Owner, class F> void modify(Owner& owner, F&& mutate)
    {
        Value copy = m_storage.value();
        std::forward<F>(mutate)(copy);
        set(owner, copy);
    }

private:
    platform::combine::CurrentValueSubject<Value> m_storage;
};

} // namespace zk
