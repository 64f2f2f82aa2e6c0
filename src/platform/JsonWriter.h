#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace platform {

using JsonValue = nlohmann::ordered_json;

// The one writer for every stored or exported JSON text. It reproduces the original encoder's
// output that stored forms depend on: compact, members in the order they were added, "/" written
// as "\/", integral reals without a fraction ("600"), other reals in their shortest round-trip
// text, and a refusal (never "null") for NaN and the infinities.
class JsonWriter {
public:
    // Nothing when the value holds a non-finite number; `error` then says where.
    static std::optional<std::string> write(const JsonValue& value, std::string* error = nullptr);

    // The text of one real as the writer prints it; nothing for NaN and the infinities.
    static std::optional<std::string> numberText(double value);
    // A JSON string literal, quotes included.
    static std::string quoted(const std::string& text);
};

// Strict reading: the whole text must be one JSON value, with no comments or trailing content.
class JsonReader {
public:
    static std::optional<JsonValue> parse(const std::string& text);
};

} // namespace platform
