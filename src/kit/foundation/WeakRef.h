#pragma once

#include <concepts>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace zk {

// A reference that does not keep its object alive: it reads as the object while something else
// owns it, and as nothing afterwards. Holds no lock of its own.
template <class T> class WeakBox {
public:
    WeakBox() = default;
    WeakBox(const std::shared_ptr<T>& object)
        : m_object(object)
    {
    }

    std::shared_ptr<T> wrappedValue() const { return m_object.lock(); }
    void setWrappedValue(const std::shared_ptr<T>& object) { m_object = object; }
    // Lets `change` replace the object; the result is kept as a weak reference again.
    template <class F> void modifyWrappedValue(F&& change)
    {
        std::shared_ptr<T> object = m_object.lock();
        std::forward<F>(change)(object);
        m_object = object;
    }
    bool isNil() const { return m_object.expired(); }

    // A member of the object: nothing once the object is gone.
    template <class M> std::optional<M> get(M T::*member) const
    {
        if (const auto object = m_object.lock()) {
            return (*object).*member;
        }
        return std::nullopt;
    }
    // Sets a member of the object; does nothing when the object is gone or there is no value.
    template <class M> void set(M T::*member, std::optional<std::type_identity_t<M>> value)
    {
        if (!value) {
            return;
        }
        if (const auto object = m_object.lock()) {
            (*object).*member = std::move(*value);
        }
    }
    template <class M, class F> void modify(M T::*member, F&& change)
    {
        std::optional<M> value = get(member);
        std::forward<F>(change)(value);
        set(member, std::move(value));
    }

    // The object's identity (its own id() where it has one, else its address), or nothing once gone.
    auto id() const
    {
        const auto object = m_object.lock();
        if constexpr (requires(const T& value) { value.id(); }) {
            using Id = decltype(object->id());
            return object ? std::optional<Id>(object->id()) : std::optional<Id>();
        } else {
            return object ? std::optional<const T*>(object.get()) : std::optional<const T*>();
        }
    }

    // Two empty boxes are equal; an empty box equals no live one; else the objects decide.
    friend bool operator==(const WeakBox& a, const WeakBox& b) requires std::equality_comparable<T>
    {
        const auto left = a.m_object.lock();
        const auto right = b.m_object.lock();
        if (!left || !right) {
            return !left && !right;
        }
        return *left == *right;
    }
    // An empty box is ordered before nothing and after nothing.
    friend bool operator<(const WeakBox& a, const WeakBox& b) requires requires(const T& x, const T& y)
    {
        x < y;
    }
    {
        const auto left = a.m_object.lock();
        const auto right = b.m_object.lock();
        return left && right && *left < *right;
    }
    friend bool operator>(const WeakBox& a, const WeakBox& b) requires requires(const T& x, const T& y)
    {
        x < y;
    }
    {
        return b < a;
    }
    friend bool operator<=(const WeakBox& a, const WeakBox& b) requires requires(const T& x, const T& y)
    {
        x < y;
    }
    {
        return !(b < a);
    }
    friend bool operator>=(const WeakBox& a, const WeakBox& b) requires requires(const T& x, const T& y)
    {
        x < y;
    }
    {
        return !(a < b);
    }

private:
    std::weak_ptr<T> m_object;
};

// A list of weak references in the order given; elements whose objects have gone read as nothing.
template <class T> class WeakArray {
public:
    WeakArray() = default;
    WeakArray(const std::vector<std::shared_ptr<T>>& objects)
        : m_storage(objects.begin(), objects.end())
    {
    }
    WeakArray(std::initializer_list<std::shared_ptr<T>> objects)
        : m_storage(objects.begin(), objects.end())
    {
    }

    // Released objects stay counted; their positions read as nothing.
    std::size_t size() const { return m_storage.size(); }
    std::ptrdiff_t count() const { return static_cast<std::ptrdiff_t>(m_storage.size()); }
    bool isEmpty() const { return m_storage.empty(); }
    std::ptrdiff_t startIndex() const { return 0; }
    std::ptrdiff_t endIndex() const { return count(); }
    std::shared_ptr<T> operator[](std::size_t index) const { return m_storage[index].wrappedValue(); }
    // A position outside 0 ..< count is reported as std::out_of_range.
    std::shared_ptr<T> at(std::ptrdiff_t index) const
    {
        if (index < 0 || index >= count()) {
            throw std::out_of_range("WeakArray position out of range");
        }
        return m_storage[static_cast<std::size_t>(index)].wrappedValue();
    }
    void append(const std::shared_ptr<T>& object) { m_storage.emplace_back(object); }

    // The objects still alive, in order.
    std::vector<std::shared_ptr<T>> liveObjects() const
    {
        std::vector<std::shared_ptr<T>> result;
        for (const auto& box : m_storage) {
            if (auto object = box.wrappedValue()) {
                result.push_back(std::move(object));
            }
        }
        return result;
    }

    const std::vector<WeakBox<T>>& storage() const { return m_storage; }

private:
    std::vector<WeakBox<T>> m_storage;
};

} // namespace zk

// Every empty box hashes alike; a live one as its object.
template <class T>
requires requires(const T& value)
{
    std::hash<T> {}(value);
}
struct std::hash<zk::WeakBox<T>> {
    std::size_t operator()(const zk::WeakBox<T>& box) const
    {
        const auto object = box.wrappedValue();
        return object ? std::hash<T> {}(*object) : 0x5eed;
    }
};
