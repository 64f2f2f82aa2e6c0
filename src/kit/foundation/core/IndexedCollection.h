#pragma once

#include "kit/foundation/core/FatalError.h"

#include <cstddef>
#include <iterator>
#include <ranges>
#include <string>
#include <utility>
#include <vector>

namespace zk {

// A collection seen as (position, element) pairs. A slice of a larger collection keeps the
// positions it has there: give the slice's first position as `firstIndex`.
template <std::ranges::forward_range Base> class IndexedCollection {
public:
    using Index = std::ptrdiff_t;
    using Element = std::ranges::range_value_t<Base>;

    explicit IndexedCollection(Base base, Index firstIndex = 0)
        : base(std::move(base))
        , first(firstIndex)
    {
    }

    Index startIndex() const { return first; }
    Index endIndex() const { return first + static_cast<Index>(std::ranges::distance(base)); }
    // A position outside the collection is a programmer error and stops the program, rather than
    // reading past the end of the base.
    std::pair<Index, Element> at(Index index) const
    {
        if (index < startIndex() || index >= endIndex()) {
            fatalError(FatalReason("Index " + std::to_string(index) + " is out of range "
                + std::to_string(startIndex()) + "..<" + std::to_string(endIndex())));
        }
        auto position = std::ranges::begin(base);
        std::ranges::advance(position, index - first);
        return { index, *position };
    }

    std::vector<std::pair<Index, Element>> pairs() const
    {
        std::vector<std::pair<Index, Element>> result;
        Index index = first;
        for (const auto& element : base) {
            result.emplace_back(index++, element);
        }
        return result;
    }

private:
    Base base;
    Index first;
};

} // namespace zk
