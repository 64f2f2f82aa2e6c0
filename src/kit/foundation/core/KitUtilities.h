#pragma once

#include <algorithm>
#include <iterator>
#include <ranges>
#include <string_view>
#include <utility>
#include <vector>

namespace zk {

// The elements, in order, that equal none of `excluded` (duplicates of kept elements stay).
template <class Range, class T> auto excluding(const Range& elements, const std::vector<T>& excluded)
{
    std::vector<std::ranges::range_value_t<Range>> result;
    for (const auto& element : elements) {
        if (std::find(excluded.begin(), excluded.end(), element) == excluded.end()) {
            result.push_back(element);
        }
    }
    return result;
}

// Splits the elements, in order, into those for which `predicate` is false (first) and those for
// which it is true (second). An exception from the predicate stops the walk and reaches the caller.
template <class Range, class Predicate> auto partitioned(const Range& elements, Predicate&& predicate)
{
    using Element = std::ranges::range_value_t<Range>;
    std::pair<std::vector<Element>, std::vector<Element>> result;
    for (const auto& element : elements) {
        (predicate(element) ? result.second : result.first).push_back(element);
    }
    return result;
}

// Whether the whole text is one e-mail address (nothing before or after it, no "mailto:").
bool isEmailAddress(std::string_view text);

} // namespace zk
