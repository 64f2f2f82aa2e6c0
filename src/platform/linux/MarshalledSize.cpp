#include "platform/linux/MarshalledSize.h"

#include "platform/linux/DBusMenuTypes.h"
#include "platform/linux/StatusNotifierItemTypes.h"

#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QList>
#include <QStringList>
#include <QVariantMap>

namespace platform {

namespace {

// A string as UTF-8: its length, the bytes and the terminator; the padding before the next value
// comes with that value.
std::int64_t stringSize(const QString& text)
{
    std::int64_t bytes = 0;
    for (const QChar unit : text) {
        // A surrogate is half of a character of four bytes.
        bytes += unit.unicode() < 0x80 ? 1 : unit.unicode() < 0x800 || unit.isSurrogate() ? 2 : 3;
    }
    return 4 + bytes + 1;
}

std::int64_t paddedTo(std::int64_t size, std::int64_t boundary)
{
    return (size + boundary - 1) / boundary * boundary;
}

// A variant's signature and its padding, beside the value itself.
constexpr std::int64_t variantOverhead = 16;

std::int64_t pixmapsSize(const StatusNotifierIconPixmaps& pixmaps)
{
    std::int64_t size = 8;
    for (const StatusNotifierIconPixmap& pixmap : pixmaps) {
        size += paddedTo(8 + 4 + pixmap.data.size(), 8);
    }
    return size;
}

std::int64_t layoutSize(const DBusMenuLayoutItem& item)
{
    std::int64_t size = 8 + marshalledSize(QVariant(item.properties)) + 8;
    for (const QDBusVariant& child : item.children) {
        size += variantOverhead + marshalledSize(child.variant());
    }
    return size;
}

} // namespace

std::int64_t marshalledSize(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return 8;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return 16;
    case QMetaType::QString:
        return stringSize(value.toString());
    case QMetaType::QByteArray:
        return 4 + std::int64_t { value.toByteArray().size() } + 7;
    case QMetaType::QStringList: {
        std::int64_t size = 8;
        for (const QString& text : value.toStringList()) {
            size += stringSize(text);
        }
        return size;
    }
    case QMetaType::QVariantList: {
        std::int64_t size = 8;
        for (const QVariant& item : value.toList()) {
            size += variantOverhead + marshalledSize(item);
        }
        return size;
    }
    case QMetaType::QVariantMap: {
        std::int64_t size = 8;
        const QVariantMap map = value.toMap();
        for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
            size += 8 + stringSize(entry.key()) + variantOverhead + marshalledSize(entry.value());
        }
        return size;
    }
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        return variantOverhead + marshalledSize(value.value<QDBusVariant>().variant());
    }
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return stringSize(value.value<QDBusObjectPath>().path());
    }
    if (value.metaType() == QMetaType::fromType<QDBusSignature>()) {
        return stringSize(value.value<QDBusSignature>().signature());
    }
    if (value.metaType() == QMetaType::fromType<QList<QVariantMap>>()) {
        std::int64_t size = 8;
        for (const QVariantMap& map : value.value<QList<QVariantMap>>()) {
            size += marshalledSize(QVariant(map));
        }
        return size;
    }
    if (value.metaType() == QMetaType::fromType<DBusMenuLayoutItem>()) {
        return layoutSize(value.value<DBusMenuLayoutItem>());
    }
    if (value.metaType() == QMetaType::fromType<DBusMenuItemPropertiesList>()) {
        std::int64_t size = 8;
        for (const DBusMenuItemProperties& item : value.value<DBusMenuItemPropertiesList>()) {
            size += 8 + marshalledSize(QVariant(item.properties));
        }
        return size;
    }
    if (value.metaType() == QMetaType::fromType<StatusNotifierIconPixmaps>()) {
        return pixmapsSize(value.value<StatusNotifierIconPixmaps>());
    }
    if (value.metaType() == QMetaType::fromType<StatusNotifierToolTip>()) {
        const auto toolTip = value.value<StatusNotifierToolTip>();
        return 8 + stringSize(toolTip.iconName) + pixmapsSize(toolTip.iconPixmaps) + stringSize(toolTip.title)
            + stringSize(toolTip.description);
    }
    return unknownValueBytes;
}

std::int64_t marshalledSize(const QDBusMessage& message)
{
    // The fixed header, then the fields present, each aligned to 8: a code, its type and its value
    // (the reply serial a number, the signature a length byte).
    std::int64_t size = 16;
    if (message.type() == QDBusMessage::ReplyMessage || message.type() == QDBusMessage::ErrorMessage) {
        size += 8;
    }
    for (const QString& field :
        { message.path(), message.interface(), message.member(), message.errorName(), message.service() }) {
        if (!field.isEmpty()) {
            size = paddedTo(size, 8) + 4 + stringSize(field);
        }
    }
    const QString signature = message.signature();
    if (!signature.isEmpty()) {
        size = paddedTo(size, 8) + 4 + 1 + signature.size() + 1;
    }
    size = paddedTo(size, 8);
    for (const QVariant& argument : message.arguments()) {
        size += marshalledSize(argument);
    }
    return size;
}

} // namespace platform
