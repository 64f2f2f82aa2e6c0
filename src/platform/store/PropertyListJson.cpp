#include "platform/store/PropertyListJson.h"

#include "platform/store/JsonWriter.h"

#include <QByteArray>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

namespace platform {

namespace {

constexpr const char* dateKey = "date";
constexpr const char* dataKey = "data";
constexpr const char* dictKey = "dict";

// Well-formed UTF-8 as the JSON parser accepts it: no overlong forms, no surrogates, nothing
// above U+10FFFF. Text that fails this could be written but never read back.
bool isValidUtf8(const std::string& text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) {
                low = 0xA0;
            } else if (c == 0xED) {
                high = 0x9F;
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) {
                low = 0x90;
            } else if (c == 0xF4) {
                high = 0x8F;
            }
        } else {
            return false;
        }
        if (end - p < length) {
            return false;
        }
        if (p[1] < low || p[1] > high) {
            return false;
        }
        for (int i = 2; i < length; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) {
                return false;
            }
        }
        p += length;
    }
    return true;
}

class Encoder {
public:
    explicit Encoder(std::string* error)
        : m_error(error)
    {
    }

    bool write(const PropertyList& object, int depth)
    {
        if (depth > PropertyListJson::maximumDepth) {
            return fail("The value is nested more than " + std::to_string(PropertyListJson::maximumDepth)
                + " levels deep.");
        }
        return std::visit([&](const auto& value) { return writeValue(value, depth); }, object.value());
    }

    std::string out;

private:
    bool fail(std::string message)
    {
        if (m_error) {
            *m_error = std::move(message);
        }
        return false;
    }

    bool writeString(const std::string& text)
    {
        if (!isValidUtf8(text)) {
            return fail("The text is not valid UTF-8.");
        }
        out += JsonWriter::quoted(text);
        return true;
    }

    bool writeReal(double value, const char* what)
    {
        auto text = PropertyListJson::realText(value);
        if (!text) {
            return fail(std::string("The ") + what + " is not a finite number.");
        }
        out += *text;
        return true;
    }

    bool writeValue(bool value, int) { return out += value ? "true" : "false", true; }
    bool writeValue(std::int64_t value, int)
    {
        char buffer[32];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        out.append(buffer, result.ptr);
        return true;
    }
    bool writeValue(double value, int) { return writeReal(value, "real"); }
    bool writeValue(const std::string& value, int) { return writeString(value); }
    bool writeValue(const Date& value, int)
    {
        out += "{\"date\":";
        if (!writeReal(value.timeIntervalSinceReferenceDate, "date")) {
            return false;
        }
        out += '}';
        return true;
    }
    bool writeValue(const Bytes& value, int)
    {
        QByteArray raw = QByteArray::fromRawData(
            reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size()));
        QByteArray base64 = raw.toBase64();
        out += "{\"data\":\"";
        out.append(base64.constData(), static_cast<std::size_t>(base64.size()));
        out += "\"}";
        return true;
    }
    bool writeValue(const PropertyListArray& value, int depth)
    {
        out += '[';
        bool first = true;
        for (const auto& element : value) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (!write(element, depth + 1)) {
                return false;
            }
        }
        out += ']';
        return true;
    }
    bool writeValue(const PropertyListDictionary& value, int depth)
    {
        out += "{\"dict\":{";
        bool first = true;
        for (const auto& [key, element] : value) {
            if (!first) {
                out += ',';
            }
            first = false;
            if (!writeString(key)) {
                return false;
            }
            out += ':';
            if (!write(element, depth + 1)) {
                return false;
            }
        }
        out += "}}";
        return true;
    }

    std::string* m_error;
};

class Decoder {
public:
    explicit Decoder(std::string* error)
        : m_error(error)
    {
    }

    std::optional<PropertyList> read(const nlohmann::json& json, int depth)
    {
        if (depth > PropertyListJson::maximumDepth) {
            return fail("The value is nested too deeply.");
        }
        switch (json.type()) {
        case nlohmann::json::value_t::boolean:
            return PropertyList(json.get<bool>());
        case nlohmann::json::value_t::number_integer:
            return PropertyList(json.get<std::int64_t>());
        case nlohmann::json::value_t::number_unsigned: {
            auto value = json.get<std::uint64_t>();
            if (value > static_cast<std::uint64_t>(INT64_MAX)) {
                return fail("The integer " + std::to_string(value) + " is out of range.");
            }
            return PropertyList(static_cast<std::int64_t>(value));
        }
        case nlohmann::json::value_t::number_float:
            return finiteReal(json.get<double>());
        case nlohmann::json::value_t::string:
            return PropertyList(json.get<std::string>());
        case nlohmann::json::value_t::array: {
            PropertyListArray array;
            array.reserve(json.size());
            for (const auto& element : json) {
                // Another program may store a list of Codable values as their JSON objects rather
                // than as the texts of them (a history's sessions): each is the text it stands for.
                if (element.is_object() && !isTagged(element)) {
                    array.emplace_back(element.dump());
                    continue;
                }
                auto value = read(element, depth + 1);
                if (!value) {
                    return std::nullopt;
                }
                array.push_back(std::move(*value));
            }
            return PropertyList(std::move(array));
        }
        case nlohmann::json::value_t::object:
            return readTagged(json, depth);
        default:
            return fail("The text holds no property-list object.");
        }
    }

private:
    std::optional<PropertyList> fail(std::string message)
    {
        if (m_error) {
            *m_error = std::move(message);
        }
        return std::nullopt;
    }

    std::optional<PropertyList> finiteReal(double value)
    {
        if (!std::isfinite(value)) {
            return fail("The real is not a finite number.");
        }
        return PropertyList(value);
    }

    static bool isTagged(const nlohmann::json& object)
    {
        if (object.size() != 1) {
            return false;
        }
        const std::string& tag = object.begin().key();
        return tag == dateKey || tag == dataKey || tag == dictKey;
    }

    std::optional<PropertyList> readTagged(const nlohmann::json& json, int depth)
    {
        if (json.size() != 1) {
            return fail("An object must have exactly one of the members \"date\", \"data\" or \"dict\".");
        }
        auto member = json.begin();
        const std::string& tag = member.key();
        const nlohmann::json& body = member.value();
        if (tag == dateKey) {
            if (!body.is_number()) {
                return fail("A date must be a number of seconds.");
            }
            double seconds = body.get<double>();
            if (!std::isfinite(seconds)) {
                return fail("The date is not a finite number.");
            }
            return PropertyList(Date(seconds));
        }
        if (tag == dataKey) {
            if (!body.is_string()) {
                return fail("Data must be base64 text.");
            }
            const auto& text = body.get_ref<const std::string&>();
            auto result = QByteArray::fromBase64Encoding(
                QByteArray::fromRawData(text.data(), text.size()), QByteArray::AbortOnBase64DecodingErrors);
            if (!result) {
                return fail("Data is not valid base64 text.");
            }
            const auto& bytes = result.decoded;
            return PropertyList(Bytes(bytes.begin(), bytes.end()));
        }
        if (tag == dictKey) {
            if (!body.is_object()) {
                return fail("A dictionary must be a JSON object.");
            }
            PropertyListDictionary dictionary;
            for (const auto& [key, element] : body.items()) {
                auto value = read(element, depth + 1);
                if (!value) {
                    return std::nullopt;
                }
                dictionary.emplace(key, std::move(*value));
            }
            return PropertyList(std::move(dictionary));
        }
        return fail("Unknown member \"" + tag + "\"; expected \"date\", \"data\" or \"dict\".");
    }

    std::string* m_error;
};

} // namespace

std::optional<std::string> PropertyListJson::realText(double value)
{
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    // The shortest form of an integral real ("600", "-0") would read back as an integer.
    if (text.find_first_of(".eE") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::optional<std::string> PropertyListJson::encode(const PropertyList& object, std::string* error)
{
    Encoder encoder(error);
    if (!encoder.write(object, 0)) {
        return std::nullopt;
    }
    return std::move(encoder.out);
}

std::optional<PropertyList> PropertyListJson::decode(std::string_view text, std::string* error)
{
    // The parser's own depth is bounded only by memory; its result is walked recursively below, so
    // the nesting is measured first without recursion.
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > 2 * maximumDepth + 2) {
                if (error) {
                    *error = "The value is nested too deeply.";
                }
                return std::nullopt;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    nlohmann::json json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false,
        /*ignore_comments=*/false);
    if (json.is_discarded()) {
        if (error) {
            *error = "The text is not valid JSON.";
        }
        return std::nullopt;
    }
    return Decoder(error).read(json, 0);
}

} // namespace platform
