#pragma once

#include "kit/foundation/core/Description.h"
#include "kit/foundation/core/UnfairLock.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace zk {

namespace detail {
template <class T>
concept HasId = requires(const T& value)
{
    value.id();
};
template <class T>
concept LessComparable = requires(const T& a, const T& b)
{
    {
        a < b
        } -> std::convertible_to<bool>;
};
template <class T>
concept Hashable = requires(const T& value)
{
    {
        std::hash<T> {}(value)
        } -> std::convertible_to<std::size_t>;
};
} // namespace detail

// A value given an identity of its own: shared by reference (hold it in a shared_ptr), fixed at
// creation. Equality, ordering, hashing, identity and text go to the value.
template <class T> class Box {
public:
    explicit Box(T value)
        : wrappedValue(std::move(value))
    {
    }
    const T wrappedValue;

    auto id() const requires detail::HasId<T> { return wrappedValue.id(); }
    std::string description() const { return textDescription(wrappedValue); }
    std::string debugDescription() const { return "Box(" + textDescription(wrappedValue) + ")"; }
};

// A value that can be replaced at any time; takes no lock.
template <class T> class MutableBox {
public:
    explicit MutableBox(T value)
        : wrappedValue(std::move(value))
    {
    }
    T wrappedValue;

    auto id() const requires detail::HasId<T> { return wrappedValue.id(); }
    std::string description() const { return textDescription(wrappedValue); }
    std::string debugDescription() const { return "MutableBox(" + textDescription(wrappedValue) + ")"; }
};

template <class T>
requires std::equality_comparable<T>
bool operator==(const Box<T>& a, const Box<T>& b)
{
    return a.wrappedValue == b.wrappedValue;
}
template <class T>
requires detail::LessComparable<T>
bool operator<(const Box<T>& a, const Box<T>& b)
{
    return a.wrappedValue < b.wrappedValue;
}
template <class T>
requires std::equality_comparable<T>
bool operator==(const MutableBox<T>& a, const MutableBox<T>& b)
{
    return a.wrappedValue == b.wrappedValue;
}
template <class T>
requires detail::LessComparable<T>
bool operator<(const MutableBox<T>& a, const MutableBox<T>& b)
{
    return a.wrappedValue < b.wrappedValue;
}

// A value computed on first read, at most once even when several threads read it first together.
// The closure runs under the box's lock, so it must not read the same box.
template <class T> class LazyBox {
public:
    explicit LazyBox(std::function<T()> closure)
        : closure(std::move(closure))
    {
    }
    LazyBox(const LazyBox&) = delete;
    LazyBox& operator=(const LazyBox&) = delete;

    T wrappedValue() const
    {
        if (computed.load(std::memory_order_acquire)) {
            return *value;
        }
        std::lock_guard guard(lock);
        if (!value) {
            value = closure();
            computed.store(true, std::memory_order_release);
        }
        return *value;
    }

    auto id() const requires detail::HasId<T> { return wrappedValue().id(); }

private:
    mutable UnfairLock lock;
    std::function<T()> closure;
    mutable std::optional<T> value;
    mutable std::atomic<bool> computed { false };
};

template <class T>
requires std::equality_comparable<T>
bool operator==(const LazyBox<T>& a, const LazyBox<T>& b)
{
    return a.wrappedValue() == b.wrappedValue();
}
template <class T>
requires detail::LessComparable<T>
bool operator<(const LazyBox<T>& a, const LazyBox<T>& b)
{
    return a.wrappedValue() < b.wrappedValue();
}

namespace detail {
template <class B> struct IsValueBox : std::false_type {
};
template <class T> struct IsValueBox<Box<T>> : std::true_type {
};
template <class T> struct IsValueBox<MutableBox<T>> : std::true_type {
};
template <class T> struct IsValueBox<LazyBox<T>> : std::true_type {
};
} // namespace detail

// The other comparisons follow from `<` alone, which makes them a partial order where the value's is.
template <class B>
requires detail::IsValueBox<B>::value && requires(const B& a, const B& b)
{
    a < b;
}
bool operator>(const B& a, const B& b)
{
    return b < a;
}
template <class B>
requires detail::IsValueBox<B>::value && requires(const B& a, const B& b)
{
    a < b;
}
bool operator<=(const B& a, const B& b)
{
    return !(b < a);
}
template <class B>
requires detail::IsValueBox<B>::value && requires(const B& a, const B& b)
{
    a < b;
}
bool operator>=(const B& a, const B& b)
{
    return !(a < b);
}

} // namespace zk

template <class T>
requires zk::detail::Hashable<T>
struct std::hash<zk::Box<T>> {
    std::size_t operator()(const zk::Box<T>& box) const { return std::hash<T> {}(box.wrappedValue); }
};
template <class T>
requires zk::detail::Hashable<T>
struct std::hash<zk::MutableBox<T>> {
    std::size_t operator()(const zk::MutableBox<T>& box) const { return std::hash<T> {}(box.wrappedValue); }
};
template <class T>
requires zk::detail::Hashable<T>
struct std::hash<zk::LazyBox<T>> {
    std::size_t operator()(const zk::LazyBox<T>& box) const { return std::hash<T> {}(box.wrappedValue()); }
};
