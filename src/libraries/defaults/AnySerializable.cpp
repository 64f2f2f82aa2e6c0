#include "libraries/defaults/AnySerializable.h"

#include <functional>
#include <string_view>

namespace Defaults {

namespace {

void combine(std::size_t& seed, std::size_t value)
{
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

template <class T> const T* held(const std::any& value)
{
    return std::any_cast<T>(&value);
}

// Rows of the comparison, tried in this order; the first type that both values hold decides.
template <class... T> struct Rows {
};
using ScalarRows = Rows<platform::Bytes, platform::Date, bool, std::uint8_t, std::int8_t, std::uint16_t,
    std::int16_t, std::uint32_t, std::int32_t, std::uint64_t, std::int64_t, float, double, std::string>;

template <class... T> std::optional<bool> compareScalars(const std::any& a, const std::any& b, Rows<T...>)
{
    std::optional<bool> result;
    auto tryRow = [&]<class U>(std::type_identity<U>) {
        if (result) {
            return;
        }
        auto x = held<U>(a);
        auto y = held<U>(b);
        if (x && y) {
            result = (*x == *y);
        }
    };
    (tryRow(std::type_identity<T> {}), ...);
    return result;
}

template <class... T> std::optional<std::size_t> hashScalars(const std::any& a, Rows<T...>)
{
    std::optional<std::size_t> result;
    auto tryRow = [&]<class U>(std::type_identity<U>) {
        if (result) {
            return;
        }
        if (auto x = held<U>(a)) {
            if constexpr (std::same_as<U, platform::Bytes>) {
                result = std::hash<std::string_view>()(
                    std::string_view(reinterpret_cast<const char*>(x->data()), x->size()));
            } else if constexpr (std::same_as<U, platform::Date>) {
                result = std::hash<double>()(x->timeIntervalSinceReferenceDate);
            } else {
                result = std::hash<U>()(*x);
            }
        }
    };
    (tryRow(std::type_identity<T> {}), ...);
    return result;
}

} // namespace

AnySerializable::AnySerializable(const platform::PropertyList& object)
{
    std::visit(
        [this](const auto& value) {
            using V = std::decay_t<decltype(value)>;
            if constexpr (std::same_as<V, platform::PropertyListArray>) {
                List list;
                list.reserve(value.size());
                for (const auto& element : value) {
                    list.emplace_back(element);
                }
                m_value = std::move(list);
            } else if constexpr (std::same_as<V, platform::PropertyListDictionary>) {
                Dictionary dictionary;
                for (const auto& [key, element] : value) {
                    dictionary.emplace(AnySerializable(key), AnySerializable(element));
                }
                m_value = std::move(dictionary);
            } else {
                m_value = value;
            }
        },
        object.value());
}

AnySerializable AnySerializable::dictionary(
    std::initializer_list<std::pair<AnySerializable, AnySerializable>> pairs)
{
    Dictionary dictionary;
    for (const auto& [key, value] : pairs) {
        dictionary.insert_or_assign(key, value);
    }
    return AnySerializable(std::move(dictionary));
}

std::optional<platform::PropertyList> AnySerializable::propertyList() const
{
    using platform::PropertyList;
    if (isNil()) {
        return std::nullopt;
    }
    if (auto v = held<bool>(m_value)) {
        return PropertyList(*v);
    }
    if (auto v = held<std::string>(m_value)) {
        return PropertyList(*v);
    }
    if (auto v = held<platform::Date>(m_value)) {
        return PropertyList(*v);
    }
    if (auto v = held<platform::Bytes>(m_value)) {
        return PropertyList(*v);
    }
    if (auto v = held<double>(m_value)) {
        return PropertyList(*v);
    }
    if (auto v = held<float>(m_value)) {
        return PropertyList(static_cast<double>(*v));
    }
    if (auto v = held<std::int64_t>(m_value)) {
        return PropertyList(*v);
    }
    if (auto v = held<std::int32_t>(m_value)) {
        return PropertyList(std::int64_t { *v });
    }
    if (auto v = held<std::int16_t>(m_value)) {
        return PropertyList(std::int64_t { *v });
    }
    if (auto v = held<std::int8_t>(m_value)) {
        return PropertyList(std::int64_t { *v });
    }
    if (auto v = held<std::uint32_t>(m_value)) {
        return PropertyList(std::int64_t { *v });
    }
    if (auto v = held<std::uint16_t>(m_value)) {
        return PropertyList(std::int64_t { *v });
    }
    if (auto v = held<std::uint8_t>(m_value)) {
        return PropertyList(std::int64_t { *v });
    }
    if (auto v = held<std::uint64_t>(m_value)) {
        return Stored<std::uint64_t>::make(*v);
    }
    if (auto v = held<List>(m_value)) {
        platform::PropertyListArray array;
        array.reserve(v->size());
        for (const auto& element : *v) {
            auto object = element.propertyList();
            if (!object) {
                return std::nullopt;
            }
            array.push_back(std::move(*object));
        }
        return PropertyList(std::move(array));
    }
    if (auto v = held<Dictionary>(m_value)) {
        platform::PropertyListDictionary dictionary;
        for (const auto& [key, element] : *v) {
            auto name = held<std::string>(key.m_value);
            auto object = element.propertyList();
            if (!name || !object) {
                return std::nullopt;
            }
            dictionary.emplace(*name, std::move(*object));
        }
        return PropertyList(std::move(dictionary));
    }
    return std::nullopt;
}

bool operator==(const AnySerializable& a, const AnySerializable& b)
{
    if (auto result = compareScalars(a.m_value, b.m_value, ScalarRows {})) {
        return *result;
    }
    using Dictionary = AnySerializable::Dictionary;
    using List = AnySerializable::List;
    if (auto x = held<Dictionary>(a.m_value), y = held<Dictionary>(b.m_value); x && y) {
        return *x == *y;
    }
    if (auto x = held<List>(a.m_value), y = held<List>(b.m_value); x && y) {
        return *x == *y;
    }
    return false;
}

std::size_t AnySerializable::hashValue() const
{
    if (auto scalar = hashScalars(m_value, ScalarRows {})) {
        return *scalar;
    }
    if (auto v = held<Dictionary>(m_value)) {
        // Independent of the iteration order, as equal dictionaries must hash alike.
        std::size_t sum = 0;
        for (const auto& [key, element] : *v) {
            std::size_t entry = key.hashValue();
            combine(entry, element.hashValue());
            sum += entry;
        }
        std::size_t seed = v->size();
        combine(seed, sum);
        return seed;
    }
    if (auto v = held<List>(m_value)) {
        std::size_t seed = 0;
        combine(seed, v->size());
        for (const auto& element : *v) {
            combine(seed, element.hashValue());
        }
        return seed;
    }
    return 0;
}

} // namespace Defaults
