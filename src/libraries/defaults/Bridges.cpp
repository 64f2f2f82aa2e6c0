#include "libraries/defaults/Bridges.h"

#include "platform/Logger.h"

namespace Defaults {

void detail::logUnarchivingFailure(const std::string& description)
{
    platform::log(platform::LogLevel::Warning, platform::lcStore(), description);
}

std::optional<platform::PropertyList> AnyBridge::serialize(const std::optional<AnySerializable>& value)
{
    if (!value || value->isNil()) {
        return std::nullopt;
    }
    auto object = value->propertyList();
    if (!object) {
        detail::noteEncodingFailure("The value held by AnySerializable is no property-list object.");
    }
    return object;
}

std::optional<AnySerializable> AnyBridge::deserialize(const std::optional<platform::PropertyList>& object)
{
    if (!object) {
        return AnySerializable();
    }
    return AnySerializable(*object);
}

} // namespace Defaults
