#pragma once

#include "libraries/defaults/AnySerializable.h"
#include "libraries/defaults/CodableForm.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

// The bridges: small stateless converters between a value and the object the store holds. Every
// operation takes and gives an optional; an empty input gives an empty result, and every failure
// gives the empty result rather than an error.
namespace Defaults {

// Any type with `to_json`/`from_json`, stored as its Codable storage form.
template <class T> struct TopLevelCodableBridge {
    using Value = T;
    using Serializable = std::string;
    static std::optional<std::string> serialize(const std::optional<T>& value)
    {
        if (!value) {
            return std::nullopt;
        }
        return CodableForm::encode(*value);
    }
    static std::optional<T> deserialize(const std::optional<std::string>& text)
    {
        if (!text) {
            return std::nullopt;
        }
        return CodableForm::decode<T>(*text);
    }
};

// A raw-value type that is also Codable, stored as its own JSON text.
template <class T> struct RawRepresentableCodableBridge : TopLevelCodableBridge<T> {
};

// An archived type that is also Codable, stored as JSON text like any Codable value.
template <class T> struct CodableNSSecureCodingBridge : TopLevelCodableBridge<T> {
};

namespace detail {
// The archive's format is fixed, so the bytes of a stored value read the same with a later Qt.
inline constexpr QDataStream::Version archiveVersion = QDataStream::Qt_6_0;
void logUnarchivingFailure(const std::string& description);
} // namespace detail

// An archived type, stored as the bytes of its QDataStream archive. A failed archiving gives
// nothing silently; bytes that do not unarchive whole as the type give nothing and are logged.
template <class T> struct NSSecureCodingBridge {
    using Value = T;
    using Serializable = platform::Bytes;
    static std::optional<platform::Bytes> serialize(const std::optional<T>& value)
    {
        if (!value) {
            return std::nullopt;
        }
        QByteArray archive;
        QDataStream stream(&archive, QIODevice::WriteOnly);
        stream.setVersion(detail::archiveVersion);
        stream << *value;
        if (stream.status() != QDataStream::Ok) {
            return std::nullopt;
        }
        return platform::Bytes(archive.begin(), archive.end());
    }
    static std::optional<T> deserialize(const std::optional<platform::Bytes>& data)
    {
        if (!data) {
            return std::nullopt;
        }
        const QByteArray archive(
            reinterpret_cast<const char*>(data->data()), static_cast<qsizetype>(data->size()));
        QDataStream stream(archive);
        stream.setVersion(detail::archiveVersion);
        T value {};
        stream >> value;
        if (stream.status() != QDataStream::Ok) {
            detail::logUnarchivingFailure(
                "The data couldn’t be read because it isn’t in the correct format.");
            return std::nullopt;
        }
        if (!stream.atEnd()) {
            detail::logUnarchivingFailure("The data couldn’t be read because it has more than one value.");
            return std::nullopt;
        }
        return value;
    }
};

// A URL, stored as its absolute text in the Codable storage form (a quoted JSON literal).
struct URLBridge : TopLevelCodableBridge<QUrl> { };

// A colour, stored as the bytes of its archive, like any archived value. The UTF-8 bytes of a
// "#AARRGGBB" text, which earlier versions stored, still read as that colour. Data that is neither,
// or an invalid colour, gives nothing.
struct ColorBridge {
    using Value = QColor;
    using Serializable = platform::Bytes;
    static std::optional<platform::Bytes> serialize(const std::optional<QColor>& value);
    static std::optional<QColor> deserialize(const std::optional<platform::Bytes>& data);
};

template <class T> struct RawRepresentableBridge {
    using Value = T;
    using Serializable = typename RawRepresentable<T>::RawValue;
    static std::optional<Serializable> serialize(const std::optional<T>& value)
    {
        if (!value) {
            return std::nullopt;
        }
        return RawRepresentable<T>::rawValue(*value);
    }
    static std::optional<T> deserialize(const std::optional<Serializable>& raw)
    {
        if (!raw) {
            return std::nullopt;
        }
        return RawRepresentable<T>::fromRawValue(*raw);
    }
};

struct UUIDBridge {
    using Value = platform::Uuid;
    using Serializable = std::string;
    static std::optional<std::string> serialize(const std::optional<platform::Uuid>& value)
    {
        if (!value) {
            return std::nullopt;
        }
        return value->uuidString();
    }
    static std::optional<platform::Uuid> deserialize(const std::optional<std::string>& text)
    {
        if (!text) {
            return std::nullopt;
        }
        return platform::Uuid::parse(*text);
    }
};

struct AnyBridge {
    using Value = AnySerializable;
    using Serializable = platform::PropertyList;
    static std::optional<platform::PropertyList> serialize(const std::optional<AnySerializable>& value);
    // Never empty: nothing stored reads as the empty value.
    static std::optional<AnySerializable> deserialize(const std::optional<platform::PropertyList>& object);
};

template <class W> struct OptionalBridge {
    using Value = typename BridgeOf<W>::Value;
    using Serializable = typename BridgeOf<W>::Serializable;
    static std::optional<Serializable> serialize(const std::optional<Value>& value)
    {
        return BridgeOf<W>::serialize(value);
    }
    static std::optional<Value> deserialize(const std::optional<Serializable>& object)
    {
        return BridgeOf<W>::deserialize(object);
    }
};

namespace detail {

// An element as the value its bridge converts: itself, or what an optional element holds.
template <class E> std::optional<typename BridgeOf<E>::Value> bridgeValue(const E& element)
{
    if constexpr (isOptional<E>) {
        if (!element) {
            return std::nullopt;
        }
        return bridgeValue(*element);
    } else {
        return element;
    }
}

template <class E> std::optional<E> elementFromBridgeValue(std::optional<typename BridgeOf<E>::Value> value)
{
    if (!value) {
        return std::nullopt;
    }
    return E(std::move(*value));
}

// The algorithm shared by sets and by collections stored element by element.
template <class E> struct ElementsBridge {
    template <class Range> static std::optional<platform::PropertyList> serialize(const Range& elements)
    {
        platform::PropertyListArray array;
        for (const auto& element : elements) {
            if constexpr (Serializable<E>::isNativelySupported && !isOptional<E>) {
                array.push_back(Stored<E>::make(element));
            } else {
                auto value = bridgeValue<E>(element);
                auto serialized = value ? BridgeOf<E>::serialize(value) : std::nullopt;
                if (!serialized) {
                    noteDroppedElement();
                    continue;
                }
                array.push_back(Stored<typename BridgeOf<E>::Serializable>::make(*serialized));
            }
        }
        return platform::PropertyList(std::move(array));
    }

    static std::optional<std::vector<E>> deserialize(const platform::PropertyList& object)
    {
        if constexpr (Serializable<E>::isNativelySupported && !isOptional<E>) {
            return Stored<std::vector<E>>::cast(object);
        } else {
            auto stored = Stored<std::vector<typename BridgeOf<E>::Serializable>>::cast(object);
            if (!stored) {
                return std::nullopt;
            }
            std::vector<E> result;
            result.reserve(stored->size());
            for (const auto& element : *stored) {
                auto value = elementFromBridgeValue<E>(BridgeOf<E>::deserialize(element));
                if (!value) {
                    noteDroppedElement();
                    continue;
                }
                result.push_back(std::move(*value));
            }
            return result;
        }
    }
};

} // namespace detail

template <class E> struct ArrayBridge {
    using Value = std::vector<E>;
    using Serializable = std::vector<typename BridgeOf<E>::Serializable>;

    static std::optional<Serializable> serialize(const std::optional<Value>& values)
    {
        if (!values) {
            return std::nullopt;
        }
        std::vector<typename BridgeOf<E>::Value> bridged;
        bridged.reserve(values->size());
        for (const auto& element : *values) {
            auto value = detail::bridgeValue<E>(element);
            if (!value) {
                return std::nullopt;
            }
            bridged.push_back(std::move(*value));
        }
        Serializable result;
        result.reserve(bridged.size());
        for (auto& value : bridged) {
            auto serialized
                = BridgeOf<E>::serialize(std::optional<typename BridgeOf<E>::Value>(std::move(value)));
            if (!serialized) {
                detail::noteDroppedElement();
                continue;
            }
            result.push_back(std::move(*serialized));
        }
        return result;
    }

    static std::optional<Value> deserialize(const std::optional<Serializable>& stored)
    {
        if (!stored) {
            return std::nullopt;
        }
        Value result;
        result.reserve(stored->size());
        for (const auto& element : *stored) {
            auto value = detail::elementFromBridgeValue<E>(BridgeOf<E>::deserialize(element));
            if (!value) {
                detail::noteDroppedElement();
                continue;
            }
            result.push_back(std::move(*value));
        }
        return result;
    }
};

template <class K, class E> struct DictionaryBridge {
    using Value = std::map<K, E>;
    using Serializable = std::map<std::string, typename BridgeOf<E>::Serializable>;

    static std::optional<Serializable> serialize(const std::optional<Value>& values)
    {
        if (!values) {
            return std::nullopt;
        }
        Serializable result;
        for (const auto& [key, element] : *values) {
            auto value = detail::bridgeValue<E>(element);
            auto serialized = value ? BridgeOf<E>::serialize(value) : std::nullopt;
            if (!serialized) {
                detail::noteDroppedElement();
                continue;
            }
            result.insert_or_assign(TextConvertible<K>::description(key), std::move(*serialized));
        }
        return result;
    }

    static std::optional<Value> deserialize(const std::optional<Serializable>& stored)
    {
        if (!stored) {
            return std::nullopt;
        }
        Value result;
        for (const auto& [text, element] : *stored) {
            auto key = TextConvertible<K>::fromText(text);
            auto value
                = key ? detail::elementFromBridgeValue<E>(BridgeOf<E>::deserialize(element)) : std::nullopt;
            if (!value) {
                detail::noteDroppedElement();
                continue;
            }
            result.insert_or_assign(std::move(*key), std::move(*value));
        }
        return result;
    }
};

// A set, stored as an array of its elements; reading collapses duplicates.
template <class E> struct SetBridge {
    using Value = std::set<E>;
    using Serializable = platform::PropertyList;
    static std::optional<platform::PropertyList> serialize(const std::optional<Value>& values)
    {
        if (!values) {
            return std::nullopt;
        }
        return detail::ElementsBridge<E>::serialize(*values);
    }
    static std::optional<Value> deserialize(const std::optional<platform::PropertyList>& object)
    {
        if (!object) {
            return std::nullopt;
        }
        auto elements = detail::ElementsBridge<E>::deserialize(*object);
        if (!elements) {
            return std::nullopt;
        }
        return Value(elements->begin(), elements->end());
    }
};

// A collection type stored element by element: it iterates its elements (`value_type`) and is
// constructed from a std::vector of them. Declare it with
//   template <> struct Defaults::Serializable<MyList> { using Bridge = CollectionBridge<MyList>; ... };
template <class T> struct CollectionBridge {
    using Value = T;
    using Serializable = platform::PropertyList;
    using Element = typename T::value_type;
    static std::optional<platform::PropertyList> serialize(const std::optional<T>& value)
    {
        if (!value) {
            return std::nullopt;
        }
        return detail::ElementsBridge<Element>::serialize(*value);
    }
    static std::optional<T> deserialize(const std::optional<platform::PropertyList>& object)
    {
        if (!object) {
            return std::nullopt;
        }
        auto elements = detail::ElementsBridge<Element>::deserialize(*object);
        if (!elements) {
            return std::nullopt;
        }
        return T(std::move(*elements));
    }
};

// A set-like type stored element by element: `allElements()` gives its elements as a std::vector,
// and it is constructed from an iterator range of them.
template <class T> struct SetAlgebraBridge {
    using Value = T;
    using Serializable = platform::PropertyList;
    using Element = typename decltype(std::declval<const T&>().allElements())::value_type;
    static std::optional<platform::PropertyList> serialize(const std::optional<T>& value)
    {
        if (!value) {
            return std::nullopt;
        }
        return detail::ElementsBridge<Element>::serialize(value->allElements());
    }
    static std::optional<T> deserialize(const std::optional<platform::PropertyList>& object)
    {
        if (!object) {
            return std::nullopt;
        }
        auto elements = detail::ElementsBridge<Element>::deserialize(*object);
        if (!elements) {
            return std::nullopt;
        }
        return T(elements->begin(), elements->end());
    }
};

} // namespace Defaults
