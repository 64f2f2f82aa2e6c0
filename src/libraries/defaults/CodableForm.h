#pragma once

#include "libraries/defaults/Serializable.h"

#include <optional>
#include <string>

class QUrl;

namespace Defaults {

namespace detail {
// The types JSON codes by fixed rules (numbers, text, dates, data, URLs); their coding lives in one
// file, compiled once, instead of in every file that names a key.
template <class T>
concept BasicCodable = NativeScalar<T> || std::same_as<T, QUrl>;

template <BasicCodable T> struct BasicCodableForm {
    static std::optional<std::string> encode(const T& value);
    static std::optional<T> decode(const std::string& text);
};
} // namespace detail

// The Codable storage form: the JSON text of the one-element array holding the value, without the
// array's brackets ("600" for a duration of 600 s, a quoted literal for a text, an object's text for
// a structure). Reading wraps the stored text in brackets again and takes the first element, so a
// text of several comma-separated values reads as the first and an empty text as nothing.
//
// A Codable type is reached through its own `to_json`/`from_json`, which take the JSON value by
// reference: naming a key of such a type never needs the JSON library itself.
class CodableForm {
public:
    // Nothing when the value cannot be encoded (a non-finite number, or its own `to_json` threw);
    // the failure is logged and noted in the current conversion scope.
    template <class T>
    requires(detail::BasicCodable<T> || Codable<T>) static std::optional<std::string> encode(const T& value)
    {
        if constexpr (detail::BasicCodable<T>) {
            return detail::BasicCodableForm<T>::encode(value);
        } else {
            return encodeWith(&value, [](platform::JsonValue& json, const void* encoded) {
                to_json(json, *static_cast<const T*>(encoded));
            });
        }
    }

    template <class T>
    requires(detail::BasicCodable<T> || Codable<T>) static std::optional<T> decode(const std::string& text)
    {
        if constexpr (detail::BasicCodable<T>) {
            return detail::BasicCodableForm<T>::decode(text);
        } else {
            T value {};
            if (!decodeWith(text, &value, [](const platform::JsonValue& json, void* decoded) {
                    from_json(json, *static_cast<T*>(decoded));
                })) {
                return std::nullopt;
            }
            return value;
        }
    }

    static std::optional<std::string> encodeJson(const platform::JsonValue& element);
    // The first element of "[" + text + "]"; nothing when that is no JSON array or is empty.
    static std::optional<platform::JsonValue> decodeJson(const std::string& text);

private:
    template <detail::BasicCodable T> friend struct detail::BasicCodableForm;

    // Both may throw; what they throw is a failure of the value's coding.
    using WriteJson = void (*)(platform::JsonValue& json, const void* value);
    using ReadJson = void (*)(const platform::JsonValue& json, void* value);
    static std::optional<std::string> encodeWith(const void* value, WriteJson write);
    // False when the text holds no JSON value or `read` threw on it.
    static bool decodeWith(const std::string& text, void* value, ReadJson read);
};

} // namespace Defaults
