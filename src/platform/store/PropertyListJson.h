#pragma once

#include "platform/store/PropertyList.h"

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The text form in which the user-defaults database keeps one property-list object.
//
// Strings, booleans, integers and arrays are plain JSON; a real is always written with a fraction
// or an exponent ("600.0", "1e+300", "-0.0") so that it reads back as a real and never as an
// integer; the other kinds are one-key objects: {"date": <seconds since the reference date>},
// {"data": "<base64>"} and {"dict": {...}}. Every object that can be encoded reads back equal,
// bit for bit for reals.
class PropertyListJson {
public:
    // Nesting deeper than this is refused both ways, so that neither side can exhaust the stack.
    static constexpr int maximumDepth = 512;

    // Nothing when the object cannot be stored: a NaN or infinite real or date, text that is not
    // valid UTF-8, or nesting deeper than maximumDepth; `error` then says why.
    static std::optional<std::string> encode(const PropertyList& object, std::string* error = nullptr);

    // Nothing when the text is not the encoding of an object. An element of an array that is a JSON
    // object of another shape than those above (another program's form of a Codable value) reads as
    // the text of that object.
    static std::optional<PropertyList> decode(std::string_view text, std::string* error = nullptr);

    // The text of a finite real as encode() writes it; nothing for NaN and the infinities.
    static std::optional<std::string> realText(double value);
};

} // namespace platform
