#pragma once

#include "libraries/defaults/NativeType.h"
#include "libraries/defaults/Serializable.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kiruvo {

// The list of a setting enumeration's cases in declaration order, specialised next to each enum:
//   template <> struct EnumCases<E> { static constexpr std::array all { E::a, E::b }; };
// together with a `std::string_view rawValue(E)` overload in namespace kiruvo.
template <class E> struct EnumCases;

template <class E>
concept RawValueEnum = std::is_enum_v<E> && requires(E value)
{
    EnumCases<E>::all;
    {
        rawValue(value)
        } -> std::same_as<std::string_view>;
};

// The case whose raw value is exactly `raw` (case-sensitive); nothing for any other text.
template <RawValueEnum E> std::optional<E> fromRawValue(std::string_view raw)
{
    for (E value : EnumCases<E>::all) {
        if (rawValue(value) == raw) {
            return value;
        }
    }
    return std::nullopt;
}

template <RawValueEnum E> std::string rawValueString(E value)
{
    return std::string(rawValue(value));
}

template <RawValueEnum E> constexpr const auto& allCases()
{
    return EnumCases<E>::all;
}

namespace detail {
// The raw value's JSON string, and back; the reading throws for JSON that is no string.
void rawValueToJson(platform::JsonValue& json, std::string_view raw);
std::string rawValueFromJson(const platform::JsonValue& json);
} // namespace detail

// A setting enumeration's JSON form is the string of its raw value: "\"hud\"". Settings written
// by old versions hold that text, and migrating them reads it back through these.
template <RawValueEnum E> void to_json(platform::JsonValue& json, const E& value)
{
    detail::rawValueToJson(json, rawValue(value));
}

template <RawValueEnum E> void from_json(const platform::JsonValue& json, E& value)
{
    const std::string raw = detail::rawValueFromJson(json);
    const auto decoded = fromRawValue<E>(raw);
    if (!decoded) {
        throw std::invalid_argument("Cannot initialize from invalid String value " + raw);
    }
    value = *decoded;
}

} // namespace kiruvo

// Stored in the settings by raw value, never as JSON text.
template <kiruvo::RawValueEnum E> struct Defaults::RawRepresentable<E> {
    using RawValue = std::string;
    static RawValue rawValue(const E& value) { return kiruvo::rawValueString(value); }
    static std::optional<E> fromRawValue(const RawValue& raw) { return kiruvo::fromRawValue<E>(raw); }
};

template <kiruvo::RawValueEnum E> struct Defaults::PreferRawRepresentable<E> : std::true_type {
};

// Earlier versions stored a setting enumeration as the JSON text of its raw value; its Codable twin
// (with exactly its cases and raw values) reads that text back for the migration.
template <kiruvo::RawValueEnum E> struct Defaults::NativeType<E> {
    using CodableForm = Defaults::RawCodableForm<E>;
};
