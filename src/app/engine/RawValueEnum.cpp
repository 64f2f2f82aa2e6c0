#include "app/engine/RawValueEnum.h"

#include "platform/store/JsonWriter.h"

namespace kiruvo::detail {

void rawValueToJson(platform::JsonValue& json, std::string_view raw)
{
    json = std::string(raw);
}

std::string rawValueFromJson(const platform::JsonValue& json)
{
    if (!json.is_string()) {
        throw std::invalid_argument(
            "Expected to decode a String but found " + std::string(json.type_name()) + ".");
    }
    return json.get<std::string>();
}

} // namespace kiruvo::detail
