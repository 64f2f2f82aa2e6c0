#pragma once

#include <cstddef>

namespace platform::async {

// How many elements an AsyncStream keeps while its consumer is not waiting, and which it gives up
// when full: `bufferingOldest(n)` keeps the first n and drops new ones, `bufferingNewest(n)`
// drops the oldest to make room. An element handed straight to a waiting consumer never counts.
struct BufferingPolicy {
    enum class Kind { Unbounded, BufferingOldest, BufferingNewest };
    Kind kind = Kind::Unbounded;
    std::size_t limit = 0;

    static BufferingPolicy unbounded() { return {}; }
    static BufferingPolicy bufferingOldest(std::size_t limit) { return { Kind::BufferingOldest, limit }; }
    static BufferingPolicy bufferingNewest(std::size_t limit) { return { Kind::BufferingNewest, limit }; }
};

} // namespace platform::async
