#pragma once

#include "libraries/defaults/JsonCoding.h"

namespace Defaults {

// The Codable storage form: the JSON text of the one-element array holding the value, without the
// array's brackets ("600" for a duration of 600 s, a quoted literal for a text, an object's text for
// a structure). Reading wraps the stored text in brackets again and takes the first element, so a
// text of several comma-separated values reads as the first and an empty text as nothing.
class CodableForm {
public:
    // Nothing when the value cannot be encoded (a non-finite number, or its own `to_json` threw);
    // the failure is logged and noted in the current conversion scope.
    template <class T> static std::optional<std::string> encode(const T& value)
    {
        platform::JsonValue json;
        try {
            json = JsonCoding<T>::encode(value);
        } catch (const std::exception& error) {
            detail::noteEncodingFailure(error.what());
            return std::nullopt;
        }
        return encodeJson(json);
    }

    template <class T> static std::optional<T> decode(const std::string& text)
    {
        auto json = decodeJson(text);
        if (!json) {
            return std::nullopt;
        }
        return JsonCoding<T>::decode(*json);
    }

    static std::optional<std::string> encodeJson(const platform::JsonValue& element);
    // The first element of "[" + text + "]"; nothing when that is no JSON array or is empty.
    static std::optional<platform::JsonValue> decodeJson(const std::string& text);
};

} // namespace Defaults
