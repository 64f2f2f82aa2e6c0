#pragma once

#include "kit/foundation/core/FatalError.h"

#include <concepts>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

namespace zk {

// A value's ordinary text, as a log line or a key-value listing shows it: texts as they are,
// Booleans as true/false, whole numbers bare, reals always with a fraction or an exponent ("600.0"),
// types with a description() by it, optionals as "Optional(<value>)" or "nil", anything else through
// its stream operator.
template <class T> std::string textDescription(const T& value)
{
    if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::is_arithmetic_v<T>) {
        return detail::debugValue(value);
    } else if constexpr (requires { value.description(); }) {
        return std::string(value.description());
    } else if constexpr (requires {
                             value.has_value();
                             *value;
                         }) {
        return value.has_value() ? "Optional(" + textDescription(*value) + ")" : std::string("nil");
    } else {
        std::ostringstream out;
        out << value;
        return out.str();
    }
}

// The text of a key or value inside a collection's description: texts in double quotation marks
// (inner ones left as they are), everything else as textDescription() gives it.
template <class T> std::string elementDescription(const T& value)
{
    if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return "\"" + std::string(std::string_view(value)) + "\"";
    } else {
        return textDescription(value);
    }
}

// An optional value written into a text: its printed form, or `missing` when there is none.
template <class T> std::string optionalDescription(const std::optional<T>& value, std::string_view missing)
{
    return value ? textDescription(*value) : std::string(missing);
}
template <class T> std::string optionalDescription(const std::optional<T>& value)
{
    return optionalDescription(value, "nil");
}

} // namespace zk
