#pragma once

#include <iterator>
#include <optional>
#include <ranges>
#include <vector>

namespace zk {

// One element with the elements beside it.
template <class T> struct Neighbors {
    std::optional<T> previous;
    T current;
    std::optional<T> next;

    bool operator==(const Neighbors&) const = default;
};

// Each element of `base` in order with the one before it (none for the first) and the one after it
// (none for the last). The base is walked once, one element ahead.
template <std::ranges::input_range Range>
auto neighborSequence(Range&& base) -> std::vector<Neighbors<std::ranges::range_value_t<Range>>>
{
    using T = std::ranges::range_value_t<Range>;
    std::vector<Neighbors<T>> result;
    auto it = std::ranges::begin(base);
    const auto end = std::ranges::end(base);
    if (it == end) {
        return result;
    }
    std::optional<T> previous;
    T current = *it;
    for (++it; it != end; ++it) {
        T next = *it;
        result.push_back({ previous, current, next });
        previous = std::move(current);
        current = std::move(next);
    }
    result.push_back({ std::move(previous), std::move(current), std::nullopt });
    return result;
}

} // namespace zk
