#pragma once

#include <cstdint>

namespace zk {

// A span for scheduling work: a count of seconds, milliseconds, microseconds or nanoseconds, or
// never. Never orders above every finite span; finite spans order by their length, so one second
// equals 1000 milliseconds.
struct DispatchTimeInterval {
    enum class Unit { seconds, milliseconds, microseconds, nanoseconds, never };

    Unit unit = Unit::never;
    std::int64_t count = 0;

    static constexpr DispatchTimeInterval seconds(std::int64_t n) { return { Unit::seconds, n }; }
    static constexpr DispatchTimeInterval milliseconds(std::int64_t n) { return { Unit::milliseconds, n }; }
    static constexpr DispatchTimeInterval microseconds(std::int64_t n) { return { Unit::microseconds, n }; }
    static constexpr DispatchTimeInterval nanoseconds(std::int64_t n) { return { Unit::nanoseconds, n }; }
    static constexpr DispatchTimeInterval never() { return { Unit::never, 0 }; }

    // The length in nanoseconds, saturating at the 64-bit limits; 0 for never.
    std::int64_t totalNanoseconds() const;

    bool operator==(const DispatchTimeInterval&) const = default; // same case and count
};

bool operator<(const DispatchTimeInterval& a, const DispatchTimeInterval& b);
inline bool operator>(const DispatchTimeInterval& a, const DispatchTimeInterval& b)
{
    return b < a;
}
inline bool operator<=(const DispatchTimeInterval& a, const DispatchTimeInterval& b)
{
    return !(b < a);
}
inline bool operator>=(const DispatchTimeInterval& a, const DispatchTimeInterval& b)
{
    return !(a < b);
}

} // namespace zk
