#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace zk {

// Any value that can be compared for equality and hashed, with its type erased. Two values are
// equal only when they have the same type and compare equal. Texts are held as std::string and
// integers as 64-bit numbers, so that "a", std::string("a") and std::string_view("a") (or 42 and
// 42L) are the same value. Immutable; copies share the value.
class AnyHashable {
public:
    template <class T>
    requires(!std::same_as<std::remove_cvref_t<T>, AnyHashable>)
        AnyHashable(T&& value) // NOLINT: converting on purpose, so key lists can be written inline
        : m_box(std::make_shared<const Holder<Normalized<T>>>(Normalized<T>(std::forward<T>(value))))
    {
    }

    std::size_t hash() const { return m_box->hash(); }
    const std::type_info& type() const { return m_box->type(); }

    // The held value when it is of type T (after normalisation), else nullptr.
    template <class T> const T* get() const
    {
        if (m_box->type() != typeid(T)) {
            return nullptr;
        }
        return static_cast<const T*>(m_box->address());
    }

    bool operator==(const AnyHashable& other) const
    {
        return m_box == other.m_box || (m_box->type() == other.m_box->type() && m_box->equals(*other.m_box));
    }

private:
    template <class T> struct Normalization {
        using Type = std::remove_cvref_t<T>;
    };
    template <class T>
    requires std::convertible_to<T, std::string_view>
    struct Normalization<T> {
        using Type = std::string;
    };
    template <class T>
    requires(
        std::is_integral_v<
            std::remove_cvref_t<T>> && !std::same_as<std::remove_cvref_t<T>, bool>) struct Normalization<T> {
        using Type
            = std::conditional_t<std::is_signed_v<std::remove_cvref_t<T>>, std::int64_t, std::uint64_t>;
    };
    template <class T>
    requires std::is_floating_point_v<std::remove_cvref_t<T>>
    struct Normalization<T> {
        using Type = double;
    };
    template <class T> using Normalized = typename Normalization<T>::Type;

    struct Box {
        virtual ~Box() = default;
        virtual const std::type_info& type() const = 0;
        virtual bool equals(const Box& other) const = 0; // `other` has the same type
        virtual std::size_t hash() const = 0;
        virtual const void* address() const = 0;
    };

    template <class T> struct Holder final : Box {
        explicit Holder(T v)
            : value(std::move(v))
        {
        }
        const std::type_info& type() const override { return typeid(T); }
        bool equals(const Box& other) const override
        {
            return value == static_cast<const Holder&>(other).value;
        }
        std::size_t hash() const override { return std::hash<T> {}(value); }
        const void* address() const override { return &value; }
        T value;
    };

    std::shared_ptr<const Box> m_box;
};

} // namespace zk

template <> struct std::hash<zk::AnyHashable> {
    std::size_t operator()(const zk::AnyHashable& value) const { return value.hash(); }
};
