#pragma once

#include "libraries/defaults/ConversionIssues.h"
#include "platform/Uuid.h"
#include "platform/store/JsonValue.h"
#include "platform/store/PropertyList.h"

#include <charconv>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class QColor;
class QUrl;

// The compile-time description of every storable type: which bridge turns it into a
// property-list object and back, and whether the store accepts it unchanged.
//
// A type declares how it is stored next to itself, as a specialisation that the store picks up:
// - a type with nlohmann `to_json`/`from_json` (found by argument-dependent lookup) needs nothing:
//   it is stored as its JSON text (the Codable storage form);
// - an enumeration specialises `Defaults::RawRepresentable<T>` and is stored as its raw value;
// - anything else may specialise `Defaults::Serializable<T>` with its own `Bridge`.
namespace Defaults {

class AnySerializable;

template <class T> struct TopLevelCodableBridge;
template <class T> struct RawRepresentableCodableBridge;
template <class T> struct CodableNSSecureCodingBridge;
template <class T> struct NSSecureCodingBridge;
template <class T> struct RawRepresentableBridge;
struct URLBridge;
struct ColorBridge;
struct UUIDBridge;
struct AnyBridge;
template <class W> struct OptionalBridge;
template <class E> struct ArrayBridge;
template <class K, class E> struct DictionaryBridge;
template <class E> struct SetBridge;

// A raw-value type (the setting enumerations): specialise with
//   using RawValue = std::string;
//   static RawValue rawValue(const T&);
//   static std::optional<T> fromRawValue(const RawValue&);   // nothing for a value that names no case
template <class T> struct RawRepresentable;

// Marks a raw-value type that is also Codable as one to store by its raw value rather than as JSON.
template <class T> struct PreferRawRepresentable : std::false_type {
};

// An archived type: one that Qt's archive writes and reads (`QDataStream << value`, `>> value`)
// and is stored as its archive's bytes. A type opts in by specialising this to std::true_type next
// to its stream operators.
template <class T> struct NSSecureCoding : std::false_type {
};

// Marks an archived type that is also Codable as one to store as its archive rather than as JSON.
template <class T> struct PreferNSSecureCoding : std::false_type {
};

template <class T>
concept HasRawValue = requires(const T& value, const typename RawRepresentable<T>::RawValue& raw)
{
    {
        RawRepresentable<T>::rawValue(value)
        } -> std::convertible_to<typename RawRepresentable<T>::RawValue>;
    {
        RawRepresentable<T>::fromRawValue(raw)
        } -> std::same_as<std::optional<T>>;
};

// A type that nlohmann can write and read through its own `to_json`/`from_json`.
template <class T>
concept Codable = std::default_initializable<T> && requires(platform::JsonValue& json, const T& value, T& out)
{
    to_json(json, value);
    from_json(std::as_const(json), out);
};

template <class T> struct IsOptional : std::false_type {
};
template <class T> struct IsOptional<std::optional<T>> : std::true_type {
};
template <class T> inline constexpr bool isOptional = IsOptional<T>::value;

namespace detail {

template <class T>
concept NativeScalar = std::same_as<T, bool> || std::same_as<T, std::string> || std::
    same_as<T, platform::Date> || std::same_as<T, platform::Bytes> || std::floating_point<T> ||(
        std::integral<
            T> && !std::same_as<T, char> && !std::same_as<T, wchar_t> && !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t>);

template <class T>
concept Archived = NSSecureCoding<T>::value;

// The first matching row wins: archived types, then raw-value types, then Codable ones.
template <class T> struct DefaultBridge {
    using type = void;
};
template <class T>
requires(Archived<T>&& Codable<T>&& PreferNSSecureCoding<T>::value) struct DefaultBridge<T> {
    using type = NSSecureCodingBridge<T>;
};
template <class T>
requires(Archived<T>&& Codable<T> && !PreferNSSecureCoding<T>::value) struct DefaultBridge<T> {
    using type = CodableNSSecureCodingBridge<T>;
};
template <class T>
requires(Archived<T> && !Codable<T>) struct DefaultBridge<T> {
    using type = NSSecureCodingBridge<T>;
};
template <class T>
requires(!Archived<
             T> && HasRawValue<T> && Codable<T> && PreferRawRepresentable<T>::value) struct DefaultBridge<T> {
    using type = RawRepresentableBridge<T>;
};
template <class T>
requires(
    !Archived<
        T> && HasRawValue<T> && Codable<T> && !PreferRawRepresentable<T>::value) struct DefaultBridge<T> {
    using type = RawRepresentableCodableBridge<T>;
};
template <class T>
requires(!Archived<T> && HasRawValue<T> && !Codable<T>) struct DefaultBridge<T> {
    using type = RawRepresentableBridge<T>;
};
template <class T>
requires(!Archived<T> && !HasRawValue<T> && Codable<T>) struct DefaultBridge<T> {
    using type = TopLevelCodableBridge<T>;
};

} // namespace detail

// The storable-type description. `Bridge` is void for a type that cannot be stored.
template <class T> struct Serializable {
    using Bridge = typename detail::DefaultBridge<T>::type;
    static constexpr bool isNativelySupported = false;
};

template <class T>
requires detail::NativeScalar<T>
struct Serializable<T> {
    using Bridge = TopLevelCodableBridge<T>;
    static constexpr bool isNativelySupported = true;
};

template <class W> struct Serializable<std::optional<W>> {
    using Bridge = OptionalBridge<W>;
    static constexpr bool isNativelySupported = Serializable<W>::isNativelySupported;
};

template <class E>
requires(!std::same_as<E, std::uint8_t>) struct Serializable<std::vector<E>> {
    using Bridge = ArrayBridge<E>;
    static constexpr bool isNativelySupported = Serializable<E>::isNativelySupported && !isOptional<E>;
};

// The store holds dictionaries with text keys only, so only those are stored unchanged.
template <class K, class V> struct Serializable<std::map<K, V>> {
    using Bridge = DictionaryBridge<K, V>;
    static constexpr bool isNativelySupported
        = std::same_as<K, std::string> && Serializable<V>::isNativelySupported && !isOptional<V>;
};

template <class E> struct Serializable<std::set<E>> {
    using Bridge = SetBridge<E>;
    static constexpr bool isNativelySupported = false;
};

template <> struct Serializable<platform::Uuid> {
    using Bridge = UUIDBridge;
    static constexpr bool isNativelySupported = false;
};

template <> struct Serializable<QColor> {
    using Bridge = ColorBridge;
    static constexpr bool isNativelySupported = false;
};

template <> struct Serializable<QUrl> {
    using Bridge = URLBridge;
    static constexpr bool isNativelySupported = false;
};

template <> struct Serializable<AnySerializable> {
    using Bridge = AnyBridge;
    static constexpr bool isNativelySupported = false;
};

template <class T>
concept Storable = !std::is_void_v<typename Serializable<T>::Bridge>;

template <Storable T> using BridgeOf = typename Serializable<T>::Bridge;

// Turning a dictionary key into its text and back (the `description` of a key and the
// construction from it); nothing when the text names no key.
template <class K> struct TextConvertible;
template <> struct TextConvertible<std::string> {
    static std::string description(const std::string& key) { return key; }
    static std::optional<std::string> fromText(const std::string& text) { return text; }
};
template <std::integral K>
requires(!std::same_as<K, bool>) struct TextConvertible<K> {
    static std::string description(K key) { return std::to_string(key); }
    static std::optional<K> fromText(const std::string& text)
    {
        K result {};
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(text.data(), end, result);
        if (ec != std::errc() || ptr != end || text.empty()) {
            return std::nullopt;
        }
        return result;
    }
};

// ---------------------------------------------------------------------------------------------
// Exact numeric conversions. Every check happens in floating point before any cast, so neither a
// huge nor a non-finite number ever reaches a conversion whose result would be undefined.

namespace detail {

// 2^digits as a double, exactly (every power of two up to 2^64 is one).
template <std::integral I> constexpr double integerLimit()
{
    double limit = 1.0;
    for (int bit = 0; bit < std::numeric_limits<I>::digits; ++bit) {
        limit *= 2.0;
    }
    return limit;
}

template <std::integral I> std::optional<I> exactInteger(double value)
{
    if (!std::isfinite(value) || std::trunc(value) != value) {
        return std::nullopt;
    }
    constexpr double upper = integerLimit<I>();
    constexpr double lower = std::is_signed_v<I> ? -upper : 0.0;
    if (value < lower || value >= upper) {
        return std::nullopt;
    }
    return static_cast<I>(value);
}

template <std::integral I, std::integral J> std::optional<I> exactInteger(J value)
{
    if (!std::in_range<I>(value)) {
        return std::nullopt;
    }
    return static_cast<I>(value);
}

template <std::floating_point F> std::optional<F> exactFloating(double value)
{
    if constexpr (std::same_as<F, double>) {
        return value;
    } else {
        if (std::isnan(value)) {
            return static_cast<F>(value);
        }
        if (std::isfinite(value) && std::fabs(value) > static_cast<double>(std::numeric_limits<F>::max())) {
            return std::nullopt;
        }
        F narrowed = static_cast<F>(value);
        if (static_cast<double>(narrowed) != value) {
            return std::nullopt;
        }
        return narrowed;
    }
}

template <std::floating_point F> std::optional<F> exactFloating(std::int64_t value)
{
    // Integers beyond 2^53 (2^24 for float) may not survive; compare in long double to tell.
    F converted = static_cast<F>(value);
    if (converted >= std::ldexp(F(1), 63) || converted < -std::ldexp(F(1), 63)) {
        return std::nullopt;
    }
    if (static_cast<std::int64_t>(converted) != value) {
        return std::nullopt;
    }
    return converted;
}

} // namespace detail

// ---------------------------------------------------------------------------------------------
// Stored<S>: a serialisable type and the property-list object that holds it. `cast` is the
// conversion of a stored object to S: a number becomes any numeric or Boolean type that represents
// it exactly, and an array or dictionary converts only when every element does.

template <class S> struct Stored;

template <> struct Stored<platform::PropertyList> {
    static platform::PropertyList make(const platform::PropertyList& value) { return value; }
    static std::optional<platform::PropertyList> cast(const platform::PropertyList& object) { return object; }
};

template <> struct Stored<bool> {
    static platform::PropertyList make(bool value) { return platform::PropertyList(value); }
    static std::optional<bool> cast(const platform::PropertyList& object)
    {
        if (auto b = object.getIf<bool>()) {
            return *b;
        }
        if (auto i = object.getIf<std::int64_t>()) {
            if (*i == 0 || *i == 1) {
                return *i == 1;
            }
        }
        if (auto d = object.getIf<double>()) {
            if (*d == 0.0 || *d == 1.0) {
                return *d == 1.0;
            }
        }
        return std::nullopt;
    }
};

template <class I>
requires(detail::NativeScalar<I>&& std::integral<I> && !std::same_as<I, bool>) struct Stored<I> {
    static platform::PropertyList make(I value)
    {
        if (auto fitting = detail::exactInteger<std::int64_t>(value)) {
            return platform::PropertyList(*fitting);
        }
        // Only unsigned 64-bit values above the signed range get here. The store keeps signed
        // integers, and a real would round the value: it is refused rather than changed.
        detail::noteRefusedValue("The unsigned integer " + std::to_string(value)
            + " is above the largest storable integer (9223372036854775807).");
        return platform::PropertyList(static_cast<double>(value));
    }
    static std::optional<I> cast(const platform::PropertyList& object)
    {
        if (auto i = object.getIf<std::int64_t>()) {
            return detail::exactInteger<I>(*i);
        }
        if (auto d = object.getIf<double>()) {
            return detail::exactInteger<I>(*d);
        }
        if (auto b = object.getIf<bool>()) {
            return static_cast<I>(*b ? 1 : 0);
        }
        return std::nullopt;
    }
};

template <std::floating_point F> struct Stored<F> {
    static platform::PropertyList make(F value) { return platform::PropertyList(static_cast<double>(value)); }
    static std::optional<F> cast(const platform::PropertyList& object)
    {
        if (auto d = object.getIf<double>()) {
            return detail::exactFloating<F>(*d);
        }
        if (auto i = object.getIf<std::int64_t>()) {
            return detail::exactFloating<F>(*i);
        }
        if (auto b = object.getIf<bool>()) {
            return static_cast<F>(*b ? 1 : 0);
        }
        return std::nullopt;
    }
};

template <> struct Stored<std::string> {
    static platform::PropertyList make(const std::string& value) { return platform::PropertyList(value); }
    static std::optional<std::string> cast(const platform::PropertyList& object)
    {
        if (auto s = object.getIf<std::string>()) {
            return *s;
        }
        return std::nullopt;
    }
};

template <> struct Stored<platform::Date> {
    static platform::PropertyList make(platform::Date value) { return platform::PropertyList(value); }
    static std::optional<platform::Date> cast(const platform::PropertyList& object)
    {
        if (auto d = object.getIf<platform::Date>()) {
            return *d;
        }
        return std::nullopt;
    }
};

template <> struct Stored<platform::Bytes> {
    static platform::PropertyList make(const platform::Bytes& value) { return platform::PropertyList(value); }
    static std::optional<platform::Bytes> cast(const platform::PropertyList& object)
    {
        if (auto b = object.getIf<platform::Bytes>()) {
            return *b;
        }
        return std::nullopt;
    }
};

template <class S>
requires(!std::same_as<S, std::uint8_t>) struct Stored<std::vector<S>> {
    static platform::PropertyList make(const std::vector<S>& values)
    {
        platform::PropertyListArray array;
        array.reserve(values.size());
        for (const auto& value : values) {
            array.push_back(Stored<S>::make(value));
        }
        return platform::PropertyList(std::move(array));
    }
    static std::optional<std::vector<S>> cast(const platform::PropertyList& object)
    {
        auto array = object.getIf<platform::PropertyListArray>();
        if (!array) {
            return std::nullopt;
        }
        std::vector<S> result;
        result.reserve(array->size());
        for (const auto& element : *array) {
            auto converted = Stored<S>::cast(element);
            if (!converted) {
                return std::nullopt;
            }
            result.push_back(std::move(*converted));
        }
        return result;
    }
};

template <class S> struct Stored<std::map<std::string, S>> {
    static platform::PropertyList make(const std::map<std::string, S>& values)
    {
        platform::PropertyListDictionary dictionary;
        for (const auto& [key, value] : values) {
            dictionary.emplace(key, Stored<S>::make(value));
        }
        return platform::PropertyList(std::move(dictionary));
    }
    static std::optional<std::map<std::string, S>> cast(const platform::PropertyList& object)
    {
        auto dictionary = object.getIf<platform::PropertyListDictionary>();
        if (!dictionary) {
            return std::nullopt;
        }
        std::map<std::string, S> result;
        for (const auto& [key, element] : *dictionary) {
            auto converted = Stored<S>::cast(element);
            if (!converted) {
                return std::nullopt;
            }
            result.emplace(key, std::move(*converted));
        }
        return result;
    }
};

} // namespace Defaults
