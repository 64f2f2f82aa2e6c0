#include "platform/linux/MarshalledSize.h"

#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QList>
#include <QStringList>
#include <QVariantMap>

namespace platform {

namespace {

// A string: its length, at most three UTF-8 bytes per UTF-16 unit, the terminator and the padding
// before the next value.
std::int64_t stringSize(const QString& text)
{
    return 4 + 3 * std::int64_t { text.size() } + 1 + 7;
}

// A variant's signature and its padding, beside the value itself.
constexpr std::int64_t variantOverhead = 16;

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
    return unknownValueBytes;
}

std::int64_t marshalledSize(const QDBusMessage& message)
{
    // The fixed header, the reply serial and a field each for the names and the signature.
    std::int64_t size = 16 + 16;
    for (const QString& field : { message.path(), message.interface(), message.member(), message.errorName(),
             message.service(), message.signature() }) {
        size += 8 + stringSize(field);
    }
    for (const QVariant& argument : message.arguments()) {
        size += marshalledSize(argument);
    }
    return size;
}

} // namespace platform
