#pragma once

#include "kit/foundation/core/FatalError.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace zk {

// An enumeration that lists its cases in declaration order: specialise with
// `static constexpr std::array all { E::a, E::b, ... };`.
template <class E> struct AllCases;

template <class E>
concept CaseIterable = requires
{
    AllCases<E>::all.begin();
    AllCases<E>::all.end();
};

// One value per case of an enumeration, iterated in the order of the cases. A value stored for an
// excluded case is kept but never iterated.
template <CaseIterable Key, class Value> class EnumCaseMap {
public:
    struct Element {
        Key key;
        Value value;
        bool operator==(const Element&) const = default;
    };

    EnumCaseMap(std::unordered_map<Key, Value> values, const std::vector<Key>& excluded = {})
        : storage(std::move(values))
    {
        for (const Key& key : AllCases<Key>::all) {
            if (std::find(excluded.begin(), excluded.end(), key) == excluded.end()) {
                cases.push_back(key);
            }
        }
    }

    // A case without a value is reported as std::out_of_range.
    const Value& operator[](Key key) const
    {
        const auto found = storage.find(key);
        if (found == storage.end()) {
            throw std::out_of_range("EnumCaseMap has no value for a case");
        }
        return found->second;
    }
    void set(Key key, Value value) { storage.insert_or_assign(key, std::move(value)); }
    template <class F> void modify(Key key, F&& change)
    {
        Value value = (*this)[key];
        std::forward<F>(change)(value);
        set(key, std::move(value));
    }

    Element at(std::ptrdiff_t position) const
    {
        if (position < 0 || position >= count()) {
            throw std::out_of_range("EnumCaseMap position out of range");
        }
        const Key key = cases[static_cast<std::size_t>(position)];
        return Element { key, (*this)[key] };
    }

    std::ptrdiff_t startIndex() const { return 0; }
    std::ptrdiff_t endIndex() const { return count(); }
    std::ptrdiff_t count() const { return static_cast<std::ptrdiff_t>(cases.size()); }
    bool isEmpty() const { return cases.empty(); }

    // In the storage's own order, not the order of the cases.
    std::vector<Value> values() const
    {
        std::vector<Value> result;
        result.reserve(storage.size());
        for (const auto& [key, value] : storage) {
            result.push_back(value);
        }
        return result;
    }

    std::vector<Element> elements() const
    {
        std::vector<Element> result;
        for (std::ptrdiff_t i = 0; i < count(); ++i) {
            result.push_back(at(i));
        }
        return result;
    }
    // Iterates the pairs in the order of the cases.
    auto begin() const { return IteratorOver(this, 0); }
    auto end() const { return IteratorOver(this, count()); }

private:
    class IteratorOver {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Element;
        using difference_type = std::ptrdiff_t;
        IteratorOver(const EnumCaseMap* owner, std::ptrdiff_t position)
            : owner(owner)
            , position(position)
        {
        }
        Element operator*() const { return owner->at(position); }
        IteratorOver& operator++()
        {
            ++position;
            return *this;
        }
        bool operator==(const IteratorOver& other) const { return position == other.position; }

    private:
        const EnumCaseMap* owner;
        std::ptrdiff_t position;
    };

    std::vector<Key> cases;
    std::unordered_map<Key, Value> storage;
};

} // namespace zk
