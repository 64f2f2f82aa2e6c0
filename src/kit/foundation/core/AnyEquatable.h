#pragma once

#include <any>
#include <concepts>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace zk {

// A value of any equatable type whose type is hidden but whose equality is kept: values of
// different types are never equal (the integer 1 is not the real 1.0).
class AnyEquatable {
public:
    template <std::equality_comparable T>
    requires(!std::same_as<std::decay_t<T>, AnyEquatable>) AnyEquatable(T value)
        : m_value(std::move(value))
        , m_isEqual([](const std::any& mine, const AnyEquatable& other) {
            const T* theirs = std::any_cast<T>(&other.m_value);
            return theirs != nullptr && *theirs == *std::any_cast<T>(&mine);
        })
    {
    }
    // The literal forms: texts, Booleans, whole numbers and reals.
    AnyEquatable(const char* text)
        : AnyEquatable(std::string(text))
    {
    }
    AnyEquatable(int number)
        : AnyEquatable(static_cast<std::int64_t>(number))
    {
    }

    const std::any& value() const { return m_value; }

    // Asks the left value first, the right one only when the left says no.
    friend bool operator==(const AnyEquatable& a, const AnyEquatable& b)
    {
        return a.m_isEqual(a.m_value, b) || b.m_isEqual(b.m_value, a);
    }

private:
    std::any m_value;
    std::function<bool(const std::any&, const AnyEquatable&)> m_isEqual;
};

} // namespace zk
