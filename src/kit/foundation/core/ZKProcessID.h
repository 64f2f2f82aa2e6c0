#pragma once

#include <compare>
#include <cstdint>
#include <functional>

namespace zk {

// An operating-system process identifier.
struct ZKProcessID {
    std::int32_t rawValue = 0;
    std::int32_t id() const { return rawValue; }
    auto operator<=>(const ZKProcessID&) const = default;
};

} // namespace zk

template <> struct std::hash<zk::ZKProcessID> {
    std::size_t operator()(const zk::ZKProcessID& value) const
    {
        return std::hash<std::int32_t> {}(value.rawValue);
    }
};
