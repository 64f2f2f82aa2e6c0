#pragma once

#include "libraries/defaults/Bridges.h"

// The two conversions of the store around the bridges: a value to the object to store, and a
// stored object back to a value.
namespace Defaults {

// True for an empty optional and for an AnySerializable holding the empty value: such a value is
// never registered, and writing it removes the stored object.
template <class T> bool isNil(const T& value)
{
    if constexpr (isOptional<T>) {
        return !value.has_value();
    } else if constexpr (std::same_as<T, AnySerializable>) {
        return value.isNil();
    } else {
        (void)value;
        return false;
    }
}

// The value itself when the store holds its type unchanged, else its bridge's stored form.
// Nothing for an empty optional and when the bridge gives nothing.
template <Storable T> std::optional<platform::PropertyList> toSerializable(const T& value)
{
    if constexpr (isOptional<T>) {
        if (!value) {
            return std::nullopt;
        }
        return toSerializable(*value);
    } else if constexpr (Serializable<T>::isNativelySupported) {
        return Stored<T>::make(value);
    } else {
        using Bridge = BridgeOf<T>;
        auto serialized = Bridge::serialize(std::optional<typename Bridge::Value>(value));
        if (!serialized) {
            return std::nullopt;
        }
        return Stored<typename Bridge::Serializable>::make(*serialized);
    }
}

// A natively held type is taken as it is stored when it converts exactly; anything else goes
// through the bridge (stored text of a number reads as that number). Nothing when it does not convert.
template <Storable T> std::optional<T> toValue(const platform::PropertyList& object)
{
    if constexpr (isOptional<T>) {
        auto wrapped = toValue<typename T::value_type>(object);
        if (!wrapped) {
            return std::nullopt;
        }
        return T(std::move(*wrapped));
    } else {
        if constexpr (Serializable<T>::isNativelySupported) {
            if (auto value = Stored<T>::cast(object)) {
                return value;
            }
        }
        using Bridge = BridgeOf<T>;
        auto stored = Stored<typename Bridge::Serializable>::cast(object);
        auto value = Bridge::deserialize(stored);
        if (!value) {
            return std::nullopt;
        }
        return T(std::move(*value));
    }
}

template <Storable T> AnySerializable AnySerializable::from(const T& value)
{
    if constexpr (detail::NativeScalar<T>) {
        return AnySerializable(value);
    } else {
        auto object = toSerializable(value);
        return object ? AnySerializable(*object) : AnySerializable();
    }
}

template <Storable Value> std::optional<Value> AnySerializable::get() const
{
    auto object = propertyList();
    if (!object) {
        return std::nullopt;
    }
    return toValue<Value>(*object);
}

template <Storable Value> void AnySerializable::set(const Value& value)
{
    *this = from(value);
}

} // namespace Defaults
