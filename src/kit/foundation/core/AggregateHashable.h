#pragma once

#include "kit/foundation/core/AnyHashable.h"

#include <cstddef>
#include <vector>

namespace zk {

// An ordered list of hashable values used as one key. The hash of the whole list is computed once,
// when the key is made; equality always compares the elements one by one, so two different lists
// whose hashes collide remain two different keys.
class AggregateHashable {
public:
    explicit AggregateHashable(std::vector<AnyHashable> elements)
        : m_elements(std::move(elements))
        , m_cachedHashValue(combinedHash(m_elements))
    {
    }

    const std::vector<AnyHashable>& elements() const { return m_elements; }
    std::size_t cachedHashValue() const { return m_cachedHashValue; }

    bool operator==(const AggregateHashable& other) const { return m_elements == other.m_elements; }

private:
    static std::size_t combinedHash(const std::vector<AnyHashable>& elements)
    {
        std::size_t hash = std::hash<std::size_t> {}(elements.size());
        for (const auto& element : elements) {
            hash ^= element.hash() + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
        }
        return hash;
    }

    std::vector<AnyHashable> m_elements;
    std::size_t m_cachedHashValue;
};

} // namespace zk

template <> struct std::hash<zk::AggregateHashable> {
    std::size_t operator()(const zk::AggregateHashable& key) const { return key.cachedHashValue(); }
};
