#pragma once

#include "kit/foundation/core/Description.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

namespace zk {

// A set whose elements keep the order of their first insertion. A plain value: copied on
// assignment, no shared state, no locking.
template <class Element, class Hash = std::hash<Element>> class OrderedSet {
public:
    using value_type = Element;
    using Index = std::ptrdiff_t;
    using const_iterator = typename std::vector<Element>::const_iterator;
    using iterator = const_iterator;

    OrderedSet() = default;
    // Later copies of an element are dropped; its first occurrence fixes its position.
    OrderedSet(std::initializer_list<Element> elements)
    {
        for (const auto& element : elements) {
            append(element);
        }
    }
    explicit OrderedSet(const std::vector<Element>& elements)
    {
        for (const auto& element : elements) {
            append(element);
        }
    }

    // Appends an element that is not there yet; tells whether it did.
    bool append(const Element& element)
    {
        if (!set.insert(element).second) {
            return false;
        }
        array.push_back(element);
        return true;
    }
    bool contains(const Element& element) const { return set.contains(element); }

    // The removed member, or nothing when it was none; later elements move up one position.
    std::optional<Element> remove(const Element& element)
    {
        if (set.erase(element) == 0) {
            return std::nullopt;
        }
        const auto found = std::find(array.begin(), array.end(), element);
        Element removed = *found;
        array.erase(found);
        return removed;
    }
    // An empty set is reported as std::out_of_range.
    Element removeFirst()
    {
        if (array.empty()) {
            throw std::out_of_range("Can't remove first element from an empty collection");
        }
        Element first = array.front();
        array.erase(array.begin());
        set.erase(first);
        return first;
    }
    Element removeLast()
    {
        if (array.empty()) {
            throw std::out_of_range("Can't remove last element from an empty collection");
        }
        Element last = array.back();
        array.pop_back();
        set.erase(last);
        return last;
    }
    void removeAll(bool keepingCapacity = false)
    {
        if (keepingCapacity) {
            array.clear();
            set.clear();
        } else {
            array = {};
            set = {};
        }
    }

    const std::vector<Element>& elements() const { return array; }

    const Element& at(Index position) const
    {
        if (position < 0 || position >= count()) {
            throw std::out_of_range("OrderedSet position out of range");
        }
        return array[static_cast<std::size_t>(position)];
    }
    const Element& operator[](Index position) const { return at(position); }
    // A view of the elements at positions from ..< to.
    std::span<const Element> slice(Index from, Index to) const
    {
        if (from < 0 || to < from || to > count()) {
            throw std::out_of_range("OrderedSet range out of bounds");
        }
        return std::span<const Element>(array).subspan(
            static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    }

    Index startIndex() const { return 0; }
    Index endIndex() const { return count(); }
    Index count() const { return static_cast<Index>(array.size()); }
    std::size_t size() const { return array.size(); }
    bool isEmpty() const { return array.empty(); }
    const_iterator begin() const { return array.begin(); }
    const_iterator end() const { return array.end(); }

    // Order matters: the same members in another order are another set.
    bool operator==(const OrderedSet& other) const { return array == other.array; }

    std::string description() const
    {
        std::string text = "[";
        for (std::size_t i = 0; i < array.size(); ++i) {
            text += (i == 0 ? "" : ", ") + elementDescription(array[i]);
        }
        return text + "]";
    }

private:
    std::vector<Element> array;
    std::unordered_set<Element, Hash> set;
};

} // namespace zk
