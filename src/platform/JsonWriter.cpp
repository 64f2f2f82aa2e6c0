#include "platform/JsonWriter.h"

#include <charconv>
#include <cmath>

namespace platform {

namespace {

bool writeValue(const JsonValue& value, std::string& out, std::string* error);

void appendQuoted(const std::string& text, std::string& out)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

bool writeValue(const JsonValue& value, std::string& out, std::string* error)
{
    switch (value.type()) {
    case JsonValue::value_t::null: out += "null"; return true;
    case JsonValue::value_t::boolean: out += value.get<bool>() ? "true" : "false"; return true;
    case JsonValue::value_t::number_integer: out += std::to_string(value.get<std::int64_t>()); return true;
    case JsonValue::value_t::number_unsigned: out += std::to_string(value.get<std::uint64_t>()); return true;
    case JsonValue::value_t::number_float: {
        auto text = JsonWriter::numberText(value.get<double>());
        if (!text) {
            if (error) {
                *error = "Unable to encode the non-finite number " + std::to_string(value.get<double>())
                    + " in JSON.";
            }
            return false;
        }
        out += *text;
        return true;
    }
    case JsonValue::value_t::string: appendQuoted(value.get_ref<const std::string&>(), out); return true;
    case JsonValue::value_t::array: {
        out += '[';
        bool first = true;
        for (const auto& element : value) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (!writeValue(element, out, error)) {
                return false;
            }
        }
        out += ']';
        return true;
    }
    case JsonValue::value_t::object: {
        out += '{';
        bool first = true;
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (!first) {
                out += ',';
            }
            first = false;
            appendQuoted(it.key(), out);
            out += ':';
            if (!writeValue(it.value(), out, error)) {
                return false;
            }
        }
        out += '}';
        return true;
    }
    case JsonValue::value_t::binary:
    case JsonValue::value_t::discarded:
        if (error) {
            *error = "Unable to encode a value that has no JSON form.";
        }
        return false;
    }
    return false;
}

} // namespace

std::optional<std::string> JsonWriter::numberText(double value)
{
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    // Integral reals print without a fraction, as the original encoder does ("600", not "600.0").
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0) {
        if (value == 0.0) {
            return std::signbit(value) ? std::string("-0") : std::string("0");
        }
        return std::to_string(static_cast<std::int64_t>(value));
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string JsonWriter::quoted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    appendQuoted(text, out);
    return out;
}

std::optional<std::string> JsonWriter::write(const JsonValue& value, std::string* error)
{
    std::string out;
    if (!writeValue(value, out, error)) {
        return std::nullopt;
    }
    return out;
}

std::optional<JsonValue> JsonReader::parse(const std::string& text)
{
    JsonValue value = JsonValue::parse(text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

} // namespace platform
