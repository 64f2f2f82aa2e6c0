#pragma once

#include "platform/store/JsonValue.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace platform {

// The one writer for every stored or exported JSON text. It reproduces the original encoder's
// output that stored forms depend on: compact, members in the order they were added, "/" written
// as "\/", integral reals without a fraction ("600"), other reals in their shortest round-trip
// text, and a refusal (never "null") for NaN and the infinities.
class JsonWriter {
public:
    // Arrays and objects nested deeper than this are neither written nor read.
    static constexpr int maxDepth = 512;

    // Nothing when the value holds a non-finite number, text that is not valid UTF-8 or nesting
    // deeper than maxDepth; `error` then says what and where.
    static std::optional<std::string> write(const JsonValue& value, std::string* error = nullptr);

    // The text of one real as the writer prints it; nothing for NaN and the infinities.
    static std::optional<std::string> numberText(double value);
    // A JSON string literal, quotes included. Bytes that are not UTF-8 become U+FFFD; callers
    // that must not alter text check it first.
    static std::string quoted(const std::string& text);
};

// Strict reading: the whole text must be one JSON value in UTF-8, with no comments or trailing
// content, no number beyond the range of a double, and no nesting deeper than maxDepth.
class JsonReader {
public:
    static std::optional<JsonValue> parse(const std::string& text);
};

} // namespace platform
