#include "platform/store/JsonWriter.h"

#include <charconv>
#include <cmath>

namespace platform {

namespace {

// The length of the well-formed UTF-8 sequence at `i` (no overlong forms, no surrogates, nothing
// above U+10FFFF), or 0 when the bytes there are not one.
std::size_t utf8SequenceLength(const std::string& text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    if (byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool isValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// Bytes that are no UTF-8 become U+FFFD, so that the literal is always readable JSON.
void appendQuoted(const std::string& text, std::string& out)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::size_t length = utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
}

class Writer {
public:
    explicit Writer(std::string* error)
        : m_error(error)
    {
    }

    std::string out;

    bool writeValue(const JsonValue& value, int depth)
    {
        switch (value.type()) {
        case JsonValue::value_t::null:
            out += "null";
            return true;
        case JsonValue::value_t::boolean:
            out += value.get<bool>() ? "true" : "false";
            return true;
        case JsonValue::value_t::number_integer:
            out += std::to_string(value.get<std::int64_t>());
            return true;
        case JsonValue::value_t::number_unsigned:
            out += std::to_string(value.get<std::uint64_t>());
            return true;
        case JsonValue::value_t::number_float: {
            const double number = value.get<double>();
            auto text = JsonWriter::numberText(number);
            if (!text) {
                return fail("Unable to encode the non-finite number " + std::to_string(number) + " in JSON");
            }
            out += *text;
            return true;
        }
        case JsonValue::value_t::string:
            return writeString(value.get_ref<const std::string&>());
        case JsonValue::value_t::array: {
            if (depth >= JsonWriter::maxDepth) {
                return fail("The value is nested too deeply to encode");
            }
            out += '[';
            std::size_t index = 0;
            for (const auto& element : value) {
                if (index != 0) {
                    out += ',';
                }
                if (!writeValue(element, depth + 1)) {
                    return failedInside("[" + std::to_string(index) + "]");
                }
                ++index;
            }
            out += ']';
            return true;
        }
        case JsonValue::value_t::object: {
            if (depth >= JsonWriter::maxDepth) {
                return fail("The value is nested too deeply to encode");
            }
            out += '{';
            bool first = true;
            for (auto it = value.begin(); it != value.end(); ++it) {
                if (!first) {
                    out += ',';
                }
                first = false;
                if (!writeString(it.key())) {
                    return false;
                }
                out += ':';
                if (!writeValue(it.value(), depth + 1)) {
                    return failedInside("." + it.key());
                }
            }
            out += '}';
            return true;
        }
        case JsonValue::value_t::binary:
        case JsonValue::value_t::discarded:
            return fail("Unable to encode a value that has no JSON form");
        }
        return fail("Unable to encode a value that has no JSON form");
    }

private:
    bool writeString(const std::string& text)
    {
        // Refused rather than repaired: a text written with replacement characters would not read
        // back as the value that was stored.
        if (!isValidUtf8(text)) {
            return fail("Unable to encode a text that is not valid UTF-8");
        }
        appendQuoted(text, out);
        return true;
    }

    bool fail(std::string message)
    {
        m_message = std::move(message);
        finish();
        return false;
    }

    // Called while unwinding from a failure, innermost first, to say where it happened.
    bool failedInside(const std::string& step)
    {
        m_path.insert(0, step);
        finish();
        return false;
    }

    void finish()
    {
        if (m_error) {
            *m_error = m_path.empty() ? m_message + "." : m_message + " at " + m_path + ".";
        }
    }

    std::string* m_error;
    std::string m_message;
    std::string m_path;
};

// The deepest nesting of arrays and objects in `text`, counted outside string literals; stops
// counting once `limit` is passed.
int nestingDepth(const std::string& text, int limit)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) {
                return deepest;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
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
            // "-0" would read back as the integer 0 and lose the sign.
            return std::signbit(value) ? std::string("-0.0") : std::string("0");
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
    Writer writer(error);
    if (!writer.writeValue(value, 0)) {
        return std::nullopt;
    }
    return std::move(writer.out);
}

std::optional<JsonValue> JsonReader::parse(const std::string& text)
{
    // Deeply nested input is refused before parsing: every consumer of the value walks it
    // recursively, and stored text is not trusted to be reasonable.
    if (nestingDepth(text, JsonWriter::maxDepth) > JsonWriter::maxDepth) {
        return std::nullopt;
    }
    JsonValue value = JsonValue::parse(text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

} // namespace platform
