#pragma once

#include <cstdint>
#include <optional>

namespace kiruvo {

// What a set-enabled-state request asks for.
enum class SetOperation : std::int64_t {
    unknown = 0, // nothing requested
    set = 1, // put tracking into the request's state
    toggle = 2, // invert tracking
};

// Nothing outside 0 to 2.
constexpr std::optional<SetOperation> setOperationFromRawValue(std::int64_t raw)
{
    if (raw < 0 || raw > 2) {
        return std::nullopt;
    }
    return static_cast<SetOperation>(raw);
}

constexpr std::int64_t rawValue(SetOperation operation)
{
    return static_cast<std::int64_t>(operation);
}

} // namespace kiruvo
