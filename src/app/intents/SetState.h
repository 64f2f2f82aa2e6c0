#pragma once

#include <cstdint>
#include <optional>

namespace kiruvo {

// The tracking state a set-enabled-state request puts in force.
enum class SetState : std::int64_t {
    unknown = 0,
    enabled = 1, // tracking on
    disabled = 2, // tracking off
};

// Nothing outside 0 to 2.
constexpr std::optional<SetState> setStateFromRawValue(std::int64_t raw)
{
    if (raw < 0 || raw > 2) {
        return std::nullopt;
    }
    return static_cast<SetState>(raw);
}

constexpr std::int64_t rawValue(SetState state)
{
    return static_cast<std::int64_t>(state);
}

} // namespace kiruvo
