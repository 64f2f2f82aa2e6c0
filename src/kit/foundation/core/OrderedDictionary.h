#pragma once

#include "kit/foundation/core/Description.h"
#include "kit/foundation/core/FatalError.h"

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <optional>
#include <ranges>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zk {

// Collections of key-value pairs, written once for the standard maps and OrderedDictionary.
template <class S>
concept KeyValueSequence = std::ranges::input_range<const S> && requires
{
    typename S::key_type;
    typename S::mapped_type;
};
template <class S>
concept KeyValueCollection
    = KeyValueSequence<S> && std::ranges::forward_range<const S> && std::ranges::sized_range<const S>;
template <class S>
concept HashableKeyValueSequence = KeyValueSequence<S> && requires(const typename S::key_type& key)
{
    {
        std::hash<typename S::key_type> {}(key)
        } -> std::convertible_to<std::size_t>;
};
template <class S>
concept HashableKeyValueCollection = KeyValueCollection<S> && HashableKeyValueSequence<S>;

namespace detail {
// Position arithmetic that fails with an error instead of wrapping around.
inline std::ptrdiff_t checkedOffset(std::ptrdiff_t index, std::ptrdiff_t distance)
{
    std::ptrdiff_t result = 0;
    if (__builtin_add_overflow(index, distance, &result)) {
        throw std::overflow_error("Index offset overflows");
    }
    return result;
}
} // namespace detail

// A dictionary whose keys keep the order in which they were first added. A plain value: copied on
// assignment, no shared state, no locking.
template <class Key, class Value, class Hash = std::hash<Key>> class OrderedDictionary {
public:
    using key_type = Key;
    using mapped_type = Value;
    using Index = std::ptrdiff_t;

    struct Element {
        Key key;
        Value value;
        bool operator==(const Element&) const = default;
    };
    using value_type = Element;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Element;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Element;

        const_iterator() = default;
        const_iterator(const OrderedDictionary* owner, std::size_t position)
            : owner(owner)
            , position(position)
        {
        }
        Element operator*() const { return owner->elementAt(position); }
        const_iterator& operator++()
        {
            ++position;
            return *this;
        }
        const_iterator operator++(int)
        {
            auto old = *this;
            ++position;
            return old;
        }
        bool operator==(const const_iterator& other) const { return position == other.position; }

    private:
        const OrderedDictionary* owner = nullptr;
        std::size_t position = 0;
    };
    using iterator = const_iterator;

    OrderedDictionary() = default;

    // A literal list of pairs: a key given twice is a mistake in the list, reported as
    // std::invalid_argument("Duplicate values for key: '<key>'").
    OrderedDictionary(std::initializer_list<std::pair<Key, Value>> pairs)
    {
        for (const auto& [key, value] : pairs) {
            if (valuesDictionary.contains(key)) {
                throw std::invalid_argument("Duplicate values for key: '" + textDescription(key) + "'");
            }
            orderedKeys.push_back(key);
            valuesDictionary.emplace(key, value);
        }
    }

    // Pairs stored in turn: a repeated key keeps the position of its first occurrence and the
    // value of its last.
    static OrderedDictionary fromElements(const std::vector<Element>& elements)
    {
        OrderedDictionary result;
        for (const auto& element : elements) {
            result.set(element.key, element.value);
        }
        return result;
    }

    std::optional<Value> value(const Key& key) const
    {
        if (const auto found = valuesDictionary.find(key); found != valuesDictionary.end()) {
            return found->second;
        }
        return std::nullopt;
    }
    const Value* find(const Key& key) const
    {
        const auto found = valuesDictionary.find(key);
        return found == valuesDictionary.end() ? nullptr : &found->second;
    }
    bool contains(const Key& key) const { return valuesDictionary.contains(key); }

    // Setting a value keeps an existing key where it is and appends a new one; setting nothing
    // removes the key.
    void set(const Key& key, std::optional<Value> newValue)
    {
        if (!newValue) {
            if (const auto found = std::find(orderedKeys.begin(), orderedKeys.end(), key);
                found != orderedKeys.end()) {
                orderedKeys.erase(found);
            }
            valuesDictionary.erase(key);
            return;
        }
        if (!valuesDictionary.contains(key)) {
            orderedKeys.push_back(key);
        }
        valuesDictionary.insert_or_assign(key, std::move(*newValue));
    }
    void remove(const Key& key) { set(key, std::nullopt); }

    // The pair at a position; a position outside 0 ..< count is reported as std::out_of_range.
    Element at(Index position) const
    {
        if (position < 0 || position >= count()) {
            throw std::out_of_range("OrderedDictionary position out of range");
        }
        return elementAt(static_cast<std::size_t>(position));
    }
    Element operator[](Index position) const { return at(position); }

    // The pairs at positions from ..< to, as a dictionary of their own whose positions start at 0.
    OrderedDictionary slice(Index from, Index to) const
    {
        if (from < 0 || to < from || to > count()) {
            throw std::out_of_range("OrderedDictionary range out of bounds");
        }
        std::vector<Element> elements;
        for (Index i = from; i < to; ++i) {
            elements.push_back(elementAt(static_cast<std::size_t>(i)));
        }
        return fromElements(elements);
    }

    Index startIndex() const { return 0; }
    Index endIndex() const { return count(); }
    Index indexAfter(Index i) const { return detail::checkedOffset(i, 1); }
    Index indexBefore(Index i) const { return detail::checkedOffset(i, -1); }
    Index index(Index i, Index offsetBy) const { return detail::checkedOffset(i, offsetBy); }
    // Nothing when the move would pass `limit`.
    std::optional<Index> index(Index i, Index offsetBy, Index limitedBy) const
    {
        const Index moved = detail::checkedOffset(i, offsetBy);
        if ((offsetBy >= 0 && limitedBy >= i && moved > limitedBy)
            || (offsetBy < 0 && limitedBy <= i && moved < limitedBy)) {
            return std::nullopt;
        }
        return moved;
    }
    Index distance(Index from, Index to) const { return detail::checkedOffset(to, -from); }
    std::pair<Index, Index> indices() const { return { 0, count() }; }

    Index count() const { return static_cast<Index>(orderedKeys.size()); }
    std::size_t size() const { return orderedKeys.size(); }
    bool isEmpty() const { return orderedKeys.empty(); }
    const std::vector<Key>& keys() const { return orderedKeys; }

    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, orderedKeys.size()); }

    bool operator==(const OrderedDictionary& other) const requires std::equality_comparable<Value>
    {
        return orderedKeys == other.orderedKeys && valuesDictionary == other.valuesDictionary;
    }

    // The keys in order, then the pairs without order: equal dictionaries hash alike, and the same
    // pairs added in another order, as a rule, do not.
    std::size_t hashValue() const requires requires(const Value& v) { std::hash<Value> {}(v); }
    {
        std::size_t seed = orderedKeys.size();
        const auto combine
            = [&seed](std::size_t h) { seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
        for (const auto& key : orderedKeys) {
            combine(Hash {}(key));
        }
        std::size_t unordered = 0;
        for (const auto& [key, value] : valuesDictionary) {
            std::size_t pair = Hash {}(key);
            pair ^= std::hash<Value> {}(value) + 0x9e3779b97f4a7c15ULL + (pair << 6) + (pair >> 2);
            unordered += pair;
        }
        combine(unordered);
        return seed;
    }

    // "[:]" when empty, else "[key: value, ...]" in order, texts in double quotation marks.
    std::string description() const
    {
        if (orderedKeys.empty()) {
            return "[:]";
        }
        std::string text = "[";
        bool first = true;
        for (const auto& key : orderedKeys) {
            if (!first) {
                text += ", ";
            }
            first = false;
            text += elementDescription(key) + ": " + elementDescription(valueOf(key));
        }
        return text + "]";
    }

private:
    const Value& valueOf(const Key& key) const
    {
        const auto found = valuesDictionary.find(key);
        if (found == valuesDictionary.end()) {
            fatalError("OrderedDictionary lost the value of one of its keys");
        }
        return found->second;
    }
    Element elementAt(std::size_t position) const
    {
        const Key& key = orderedKeys[position];
        return Element { key, valueOf(key) };
    }

    std::vector<Key> orderedKeys;
    std::unordered_map<Key, Value, Hash> valuesDictionary;
};

} // namespace zk

template <class Key, class Value, class Hash>
requires requires(const zk::OrderedDictionary<Key, Value, Hash>& d)
{
    d.hashValue();
}
struct std::hash<zk::OrderedDictionary<Key, Value, Hash>> {
    std::size_t operator()(const zk::OrderedDictionary<Key, Value, Hash>& dictionary) const
    {
        return dictionary.hashValue();
    }
};
