#pragma once

#include "platform/time/Date.h"

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;

class PropertyList;
using PropertyListArray = std::vector<PropertyList>;
using PropertyListDictionary = std::map<std::string, PropertyList>;

// A property-list object: what the user-defaults store can hold. Integers and reals are distinct
// kinds, so an integer written is an integer read.
class PropertyList {
public:
    using Value = std::variant<bool, std::int64_t, double, std::string, Date, Bytes, PropertyListArray,
        PropertyListDictionary>;

    PropertyList()
        : m_value(false)
    {
    }
    PropertyList(bool v)
        : m_value(v)
    {
    }
    PropertyList(int v)
        : m_value(std::int64_t { v })
    {
    }
    PropertyList(long v)
        : m_value(std::int64_t { v })
    {
    }
    PropertyList(long long v)
        : m_value(std::int64_t { v })
    {
    }
    PropertyList(double v)
        : m_value(v)
    {
    }
    PropertyList(const char* v)
        : m_value(std::string(v))
    {
    }
    PropertyList(std::string v)
        : m_value(std::move(v))
    {
    }
    PropertyList(Date v)
        : m_value(v)
    {
    }
    PropertyList(Bytes v)
        : m_value(std::move(v))
    {
    }
    PropertyList(PropertyListArray v)
        : m_value(std::move(v))
    {
    }
    PropertyList(PropertyListDictionary v)
        : m_value(std::move(v))
    {
    }

    const Value& value() const { return m_value; }
    Value& value() { return m_value; }

    template <typename T> bool is() const { return std::holds_alternative<T>(m_value); }
    template <typename T> const T* getIf() const { return std::get_if<T>(&m_value); }
    template <typename T> T* getIf() { return std::get_if<T>(&m_value); }

    bool isBool() const { return is<bool>(); }
    bool isInteger() const { return is<std::int64_t>(); }
    bool isReal() const { return is<double>(); }
    bool isString() const { return is<std::string>(); }
    bool isDate() const { return is<Date>(); }
    bool isBytes() const { return is<Bytes>(); }
    bool isArray() const { return is<PropertyListArray>(); }
    bool isDictionary() const { return is<PropertyListDictionary>(); }

    friend bool operator==(const PropertyList& a, const PropertyList& b) { return a.m_value == b.m_value; }

private:
    Value m_value;
};

} // namespace platform
