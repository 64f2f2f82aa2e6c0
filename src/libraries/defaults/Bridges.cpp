#include "libraries/defaults/Bridges.h"

#include "platform/Logger.h"

#include <QColor>

namespace Defaults {

void detail::logUnarchivingFailure(const std::string& description)
{
    platform::log(platform::LogLevel::Warning, platform::lcStore(), description);
}

std::optional<platform::Bytes> ColorBridge::serialize(const std::optional<QColor>& value)
{
    if (!value || !value->isValid()) {
        return std::nullopt;
    }
    return NSSecureCodingBridge<QColor>::serialize(value);
}

std::optional<QColor> ColorBridge::deserialize(const std::optional<platform::Bytes>& data)
{
    if (!data) {
        return std::nullopt;
    }
    if (data->size() == 9 && (*data)[0] == '#') {
        const QColor color(QString::fromLatin1(reinterpret_cast<const char*>(data->data()), 9));
        return color.isValid() ? std::optional(color) : std::nullopt;
    }
    auto color = NSSecureCodingBridge<QColor>::deserialize(data);
    return color && color->isValid() ? color : std::nullopt;
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
