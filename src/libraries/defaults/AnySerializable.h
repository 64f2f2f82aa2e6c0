#pragma once

#include "libraries/defaults/Serializable.h"

#include <any>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace Defaults {

// One storable value of any kind, so that lists and dictionaries of mixed values can be kept under
// one key. It holds its value by copy; holding nothing is holding the empty tuple, never an absent
// value. Two values are equal only when they hold the same type with equal contents: 1 is not 1.0.
class AnySerializable {
public:
    using Empty = std::tuple<>;
    struct Hasher {
        std::size_t operator()(const AnySerializable& value) const { return value.hashValue(); }
    };
    using List = std::vector<AnySerializable>;
    using Dictionary = std::unordered_map<AnySerializable, AnySerializable, Hasher>;

    AnySerializable()
        : m_value(Empty {})
    {
    }
    AnySerializable(std::nullptr_t)
        : AnySerializable()
    {
    }
    AnySerializable(std::nullopt_t)
        : AnySerializable()
    {
    }
    AnySerializable(const char* text)
        : m_value(std::string(text))
    {
    }
    AnySerializable(std::string text)
        : m_value(std::move(text))
    {
    }
    AnySerializable(bool value)
        : m_value(value)
    {
    }
    // An integer literal is held as a 64-bit integer; other integer types keep their own type.
    template <std::integral I>
    requires(!std::same_as<I, bool> && !std::same_as<I, char>) AnySerializable(I value)
    {
        if constexpr (std::same_as<I, int> || std::same_as<I, long long>) {
            m_value = static_cast<std::int64_t>(value);
        } else if constexpr (std::same_as<I, unsigned long long>) {
            m_value = static_cast<std::uint64_t>(value);
        } else {
            m_value = value;
        }
    }
    template <std::floating_point F> AnySerializable(F value)
    {
        if constexpr (std::same_as<F, long double>) {
            m_value = static_cast<double>(value);
        } else {
            m_value = value;
        }
    }
    AnySerializable(platform::Date date)
        : m_value(date)
    {
    }
    AnySerializable(platform::Bytes bytes)
        : m_value(std::move(bytes))
    {
    }
    AnySerializable(List list)
        : m_value(std::move(list))
    {
    }
    AnySerializable(Dictionary dictionary)
        : m_value(std::move(dictionary))
    {
    }
    // The wrapped value, or the empty value for an empty optional.
    template <class T> AnySerializable(const std::optional<T>& value)
    {
        if (!value) {
            m_value = Empty {};
        } else if constexpr (std::is_constructible_v<AnySerializable, const T&>) {
            *this = AnySerializable(*value);
        } else {
            m_value = *value;
        }
    }
    // A stored object, held as the basic value it is (arrays as lists, dictionaries by text key).
    explicit AnySerializable(const platform::PropertyList& object);

    // A storable value in its stored form; the empty value when it converts to nothing.
    template <Storable T> static AnySerializable from(const T& value);
    static AnySerializable list(std::initializer_list<AnySerializable> elements) { return List(elements); }
    // Later pairs replace earlier ones with an equal key.
    static AnySerializable dictionary(
        std::initializer_list<std::pair<AnySerializable, AnySerializable>> pairs);

    const std::any& value() const { return m_value; }
    bool isNil() const { return m_value.type() == typeid(Empty); }

    // The held value converted as a stored object to `Value`; nothing when it does not convert.
    template <Storable Value> std::optional<Value> get() const;
    template <Storable Value> void set(const Value& value);

    // The held value as a stored object; nothing for the empty value and for values that the
    // store cannot hold (a dictionary with keys that are not text, a value of another type).
    std::optional<platform::PropertyList> propertyList() const;

    friend bool operator==(const AnySerializable& a, const AnySerializable& b);
    std::size_t hashValue() const;

private:
    std::any m_value;
};

} // namespace Defaults

template <> struct std::hash<Defaults::AnySerializable> {
    std::size_t operator()(const Defaults::AnySerializable& value) const { return value.hashValue(); }
};
