#pragma once

#include "kit/foundation/core/FatalError.h"

#include <compare>
#include <cstddef>
#include <iterator>
#include <type_traits>
#include <utility>

namespace kiruvo {

namespace detail {

// The identifier of an element: its `id` member, or what its id() answers.
template <class T> decltype(auto) identifierOf(const T& element)
{
    if constexpr (requires { element.id(); }) {
        return element.id();
    } else {
        return (element.id);
    }
}

} // namespace detail

// The positions of a random-access container, each carrying the identifier of the element stored
// there: walking it gives (id of element 0, 0), (id of element 1, 1), ... Lists that need both a
// stable identity and the position of each element (to delete or edit it in place) iterate this.
// Holds its own copy of the container; reading a position outside it stops the program.
template <class Base> class IdentifiableIndices {
public:
    using Index = typename Base::size_type;
    using Id = std::decay_t<decltype(detail::identifierOf(std::declval<const typename Base::value_type&>()))>;

    struct Element {
        Id id;
        Index rawValue;
        bool operator==(const Element&) const = default;
    };

    class Iterator {
    public:
        using iterator_concept = std::random_access_iterator_tag;
        using iterator_category = std::input_iterator_tag;
        using value_type = Element;
        using difference_type = std::ptrdiff_t;
        using reference = Element;

        Iterator() = default;
        Iterator(const IdentifiableIndices* owner, Index position)
            : m_owner(owner)
            , m_position(position)
        {
        }

        Element operator*() const { return (*m_owner)[m_position]; }
        Element operator[](difference_type offset) const { return *(*this + offset); }

        Iterator& operator++()
        {
            ++m_position;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator copy = *this;
            ++*this;
            return copy;
        }
        Iterator& operator--()
        {
            --m_position;
            return *this;
        }
        Iterator operator--(int)
        {
            Iterator copy = *this;
            --*this;
            return copy;
        }
        Iterator& operator+=(difference_type offset)
        {
            m_position = static_cast<Index>(static_cast<difference_type>(m_position) + offset);
            return *this;
        }
        Iterator& operator-=(difference_type offset) { return *this += -offset; }
        friend Iterator operator+(Iterator it, difference_type offset) { return it += offset; }
        friend Iterator operator+(difference_type offset, Iterator it) { return it += offset; }
        friend Iterator operator-(Iterator it, difference_type offset) { return it -= offset; }
        friend difference_type operator-(const Iterator& a, const Iterator& b)
        {
            return static_cast<difference_type>(a.m_position) - static_cast<difference_type>(b.m_position);
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.m_position == b.m_position; }
        friend std::strong_ordering operator<=>(const Iterator& a, const Iterator& b)
        {
            return a.m_position <=> b.m_position;
        }

    private:
        const IdentifiableIndices* m_owner = nullptr;
        Index m_position = 0;
    };

    explicit IdentifiableIndices(Base base)
        : m_base(std::move(base))
    {
    }

    const Base& base() const { return m_base; }

    Index startIndex() const { return 0; }
    Index endIndex() const { return static_cast<Index>(m_base.size()); }
    Index size() const { return endIndex(); }
    bool empty() const { return m_base.empty(); }

    Element operator[](Index position) const
    {
        if (position >= endIndex()) {
            zk::fatalError("Index out of range");
        }
        return Element { detail::identifierOf(m_base[position]), position };
    }

    Iterator begin() const { return Iterator(this, startIndex()); }
    Iterator end() const { return Iterator(this, endIndex()); }

private:
    Base m_base;
};

} // namespace kiruvo
