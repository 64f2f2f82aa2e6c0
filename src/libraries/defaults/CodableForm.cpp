#include "libraries/defaults/CodableForm.h"

namespace Defaults {

std::optional<std::string> CodableForm::encodeJson(const platform::JsonValue& element)
{
    platform::JsonValue array = platform::JsonValue::array();
    array.push_back(element);
    std::string error;
    auto text = platform::JsonWriter::write(array, &error);
    if (!text) {
        detail::noteEncodingFailure(error.empty() ? "The value has no JSON form." : error);
        return std::nullopt;
    }
    // The writer's text of an array always starts with "[" and ends with "]".
    return text->substr(1, text->size() - 2);
}

std::optional<platform::JsonValue> CodableForm::decodeJson(const std::string& text)
{
    std::string wrapped;
    wrapped.reserve(text.size() + 2);
    wrapped += '[';
    wrapped += text;
    wrapped += ']';
    auto json = platform::JsonReader::parse(wrapped);
    if (!json || !json->is_array() || json->empty()) {
        return std::nullopt;
    }
    return std::move((*json)[0]);
}

} // namespace Defaults
