#pragma once

#include "libraries/defaults/Serializable.h"

// The companions that let a value be read from an older stored form: one JSON text of the whole
// value, where a raw-value type now stores its bare raw value. Their JSON coding, and the
// migration that uses them, are in Migration.h.
namespace Defaults {

// A storable type that names the Codable type its older stored form decodes as:
//   template <> struct Defaults::NativeType<MyEnum> { using CodableForm = RawCodableForm<MyEnum>; };
template <class T> struct NativeType;
// A Codable type that converts, without failure, to the storable value it stands for:
//   using NativeForm = ...; static NativeForm toNativeForm(const T&);
template <class C> struct CodableType;

template <class T>
concept HasNativeType = requires
{
    typename NativeType<T>::CodableForm;
};
template <class C>
concept HasCodableType = requires(const C& codable)
{
    {
        CodableType<C>::toNativeForm(codable)
        } -> std::same_as<typename CodableType<C>::NativeForm>;
};

template <class T>
requires detail::NativeScalar<T>
struct NativeType<T> {
    using CodableForm = T;
};
template <class T>
requires detail::NativeScalar<T>
struct CodableType<T> {
    using NativeForm = T;
    static T toNativeForm(const T& value) { return value; }
};

template <HasNativeType W> struct NativeType<std::optional<W>> {
    using CodableForm = typename NativeType<W>::CodableForm;
};
template <HasNativeType E> struct NativeType<std::set<E>> {
    using CodableForm = std::vector<typename NativeType<E>::CodableForm>;
};
template <HasNativeType E>
requires(!std::same_as<E, std::uint8_t>) struct NativeType<std::vector<E>> {
    using CodableForm = std::vector<typename NativeType<E>::CodableForm>;
};
template <HasNativeType V> struct NativeType<std::map<std::string, V>> {
    using CodableForm = std::map<std::string, typename NativeType<V>::CodableForm>;
};

template <HasCodableType E>
requires(!std::same_as<E,
             std::uint8_t> && !detail::NativeScalar<std::vector<E>>) struct CodableType<std::vector<E>> {
    using NativeForm = std::vector<typename CodableType<E>::NativeForm>;
    static NativeForm toNativeForm(const std::vector<E>& values)
    {
        NativeForm result;
        result.reserve(values.size());
        for (const auto& value : values) {
            result.push_back(CodableType<E>::toNativeForm(value));
        }
        return result;
    }
};
template <HasCodableType V> struct CodableType<std::map<std::string, V>> {
    using NativeForm = std::map<std::string, typename CodableType<V>::NativeForm>;
    static NativeForm toNativeForm(const std::map<std::string, V>& values)
    {
        NativeForm result;
        for (const auto& [key, value] : values) {
            result.emplace(key, CodableType<V>::toNativeForm(value));
        }
        return result;
    }
};

// The Codable twin of a raw-value type: it is written and read as the JSON of its raw value
// (a quoted literal for a text), and a raw value that names no case does not decode.
template <HasRawValue T> struct RawCodableForm {
    T value;
};
template <HasRawValue T> struct CodableType<RawCodableForm<T>> {
    using NativeForm = T;
    static T toNativeForm(const RawCodableForm<T>& form) { return form.value; }
};

} // namespace Defaults
