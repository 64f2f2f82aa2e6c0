#pragma once

#include "libraries/defaults/ConversionIssues.h"
#include "libraries/defaults/Serializable.h"
#include "platform/store/JsonWriter.h"

#include <exception>

namespace Defaults {

// How a value is written to and read from JSON inside the Codable storage form: the value's own
// `to_json`/`from_json` for Codable types, and strict rules for the basic types (a JSON `true` is
// no integer, 3.5 is no integer, a number outside a type's range does not fit it).
// `encode` may throw (a type's own `to_json` may); `decode` never throws and gives nothing for
// JSON that does not hold a value of the type.
template <class T> struct JsonCoding;

namespace detail {
// Base64 text of `Data` inside a JSON value.
std::string base64Encode(const platform::Bytes& bytes);
std::optional<platform::Bytes> base64Decode(const std::string& text);
} // namespace detail

template <class T>
concept JsonCodable = requires(const T& value, const platform::JsonValue& json)
{
    {
        JsonCoding<T>::encode(value)
        } -> std::same_as<platform::JsonValue>;
    {
        JsonCoding<T>::decode(json)
        } -> std::same_as<std::optional<T>>;
};

template <> struct JsonCoding<bool> {
    static platform::JsonValue encode(bool value) { return platform::JsonValue(value); }
    static std::optional<bool> decode(const platform::JsonValue& json)
    {
        if (json.is_boolean()) {
            return json.get<bool>();
        }
        return std::nullopt;
    }
};

template <class I>
requires(detail::NativeScalar<I>&& std::integral<I> && !std::same_as<I, bool>) struct JsonCoding<I> {
    static platform::JsonValue encode(I value) { return platform::JsonValue(value); }
    static std::optional<I> decode(const platform::JsonValue& json)
    {
        if (json.is_number_unsigned()) {
            return detail::exactInteger<I>(json.get<std::uint64_t>());
        }
        if (json.is_number_integer()) {
            return detail::exactInteger<I>(json.get<std::int64_t>());
        }
        if (json.is_number_float()) {
            return detail::exactInteger<I>(json.get<double>());
        }
        return std::nullopt;
    }
};

template <std::floating_point F> struct JsonCoding<F> {
    static platform::JsonValue encode(F value) { return platform::JsonValue(static_cast<double>(value)); }
    static std::optional<F> decode(const platform::JsonValue& json)
    {
        if (!json.is_number()) {
            return std::nullopt;
        }
        double value = json.get<double>();
        if constexpr (std::same_as<F, double>) {
            return value;
        } else {
            if (!std::isfinite(value)
                || std::fabs(value) > static_cast<double>(std::numeric_limits<F>::max())) {
                return std::nullopt;
            }
            return static_cast<F>(value);
        }
    }
};

template <> struct JsonCoding<std::string> {
    static platform::JsonValue encode(const std::string& value) { return platform::JsonValue(value); }
    static std::optional<std::string> decode(const platform::JsonValue& json)
    {
        if (json.is_string()) {
            return json.get<std::string>();
        }
        return std::nullopt;
    }
};

// A date inside a value is its number of seconds since the reference date.
template <> struct JsonCoding<platform::Date> {
    static platform::JsonValue encode(platform::Date value)
    {
        return platform::JsonValue(value.timeIntervalSinceReferenceDate);
    }
    static std::optional<platform::Date> decode(const platform::JsonValue& json)
    {
        if (!json.is_number()) {
            return std::nullopt;
        }
        return platform::Date(json.get<double>());
    }
};

template <> struct JsonCoding<platform::Bytes> {
    static platform::JsonValue encode(const platform::Bytes& value)
    {
        return platform::JsonValue(detail::base64Encode(value));
    }
    static std::optional<platform::Bytes> decode(const platform::JsonValue& json)
    {
        if (!json.is_string()) {
            return std::nullopt;
        }
        return detail::base64Decode(json.get_ref<const std::string&>());
    }
};

template <> struct JsonCoding<platform::Uuid> {
    static platform::JsonValue encode(const platform::Uuid& value)
    {
        return platform::JsonValue(value.uuidString());
    }
    static std::optional<platform::Uuid> decode(const platform::JsonValue& json)
    {
        if (!json.is_string()) {
            return std::nullopt;
        }
        return platform::Uuid::parse(json.get_ref<const std::string&>());
    }
};

// A URL is its absolute text.
template <> struct JsonCoding<QUrl> {
    static platform::JsonValue encode(const QUrl& value);
    static std::optional<QUrl> decode(const platform::JsonValue& json);
};

template <JsonCodable W> struct JsonCoding<std::optional<W>> {
    static platform::JsonValue encode(const std::optional<W>& value)
    {
        return value ? JsonCoding<W>::encode(*value) : platform::JsonValue(nullptr);
    }
    static std::optional<std::optional<W>> decode(const platform::JsonValue& json)
    {
        if (json.is_null()) {
            return std::optional<W>();
        }
        auto inner = JsonCoding<W>::decode(json);
        if (!inner) {
            return std::nullopt;
        }
        return std::optional<W>(std::move(*inner));
    }
};

template <JsonCodable E>
requires(!std::same_as<E, std::uint8_t>) struct JsonCoding<std::vector<E>> {
    static platform::JsonValue encode(const std::vector<E>& values)
    {
        platform::JsonValue array = platform::JsonValue::array();
        for (const auto& value : values) {
            array.push_back(JsonCoding<E>::encode(value));
        }
        return array;
    }
    static std::optional<std::vector<E>> decode(const platform::JsonValue& json)
    {
        if (!json.is_array()) {
            return std::nullopt;
        }
        std::vector<E> result;
        result.reserve(json.size());
        for (const auto& element : json) {
            auto value = JsonCoding<E>::decode(element);
            if (!value) {
                return std::nullopt;
            }
            result.push_back(std::move(*value));
        }
        return result;
    }
};

template <JsonCodable E> struct JsonCoding<std::set<E>> {
    static platform::JsonValue encode(const std::set<E>& values)
    {
        platform::JsonValue array = platform::JsonValue::array();
        for (const auto& value : values) {
            array.push_back(JsonCoding<E>::encode(value));
        }
        return array;
    }
    static std::optional<std::set<E>> decode(const platform::JsonValue& json)
    {
        auto elements = JsonCoding<std::vector<E>>::decode(json);
        if (!elements) {
            return std::nullopt;
        }
        return std::set<E>(elements->begin(), elements->end());
    }
};

template <JsonCodable V> struct JsonCoding<std::map<std::string, V>> {
    static platform::JsonValue encode(const std::map<std::string, V>& values)
    {
        platform::JsonValue object = platform::JsonValue::object();
        for (const auto& [key, value] : values) {
            object[key] = JsonCoding<V>::encode(value);
        }
        return object;
    }
    static std::optional<std::map<std::string, V>> decode(const platform::JsonValue& json)
    {
        if (!json.is_object()) {
            return std::nullopt;
        }
        std::map<std::string, V> result;
        for (auto it = json.begin(); it != json.end(); ++it) {
            auto value = JsonCoding<V>::decode(it.value());
            if (!value) {
                return std::nullopt;
            }
            result.emplace(it.key(), std::move(*value));
        }
        return result;
    }
};

// Any type with its own `to_json`/`from_json`.
template <class T>
requires(Codable<T> && !detail::NativeScalar<T>) struct JsonCoding<T> {
    static platform::JsonValue encode(const T& value)
    {
        platform::JsonValue json;
        to_json(json, value);
        return json;
    }
    static std::optional<T> decode(const platform::JsonValue& json)
    {
        try {
            T value {};
            from_json(json, value);
            return value;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
};

} // namespace Defaults
