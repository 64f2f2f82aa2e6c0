#pragma once

#include <QUrl>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace zk {

// Types with an empty value: numbers are 0, texts, dictionaries and sets empty, and a URL the
// relative reference "." to the current location.
template <class T> struct EmptyValue;
template <> struct EmptyValue<std::int64_t> {
    static std::int64_t make() { return 0; }
};
template <> struct EmptyValue<std::int32_t> {
    static std::int32_t make() { return 0; }
};
template <> struct EmptyValue<std::int16_t> {
    static std::int16_t make() { return 0; }
};
template <> struct EmptyValue<std::int8_t> {
    static std::int8_t make() { return 0; }
};
template <> struct EmptyValue<float> {
    static float make() { return 0.0F; }
};
template <> struct EmptyValue<std::string> {
    static std::string make() { return {}; }
};
template <class K, class V, class... Rest> struct EmptyValue<std::unordered_map<K, V, Rest...>> {
    static std::unordered_map<K, V, Rest...> make() { return {}; }
};
template <class K, class V, class... Rest> struct EmptyValue<std::map<K, V, Rest...>> {
    static std::map<K, V, Rest...> make() { return {}; }
};
template <class E, class... Rest> struct EmptyValue<std::unordered_set<E, Rest...>> {
    static std::unordered_set<E, Rest...> make() { return {}; }
};
template <class E, class... Rest> struct EmptyValue<std::set<E, Rest...>> {
    static std::set<E, Rest...> make() { return {}; }
};
template <> struct EmptyValue<QUrl> {
    static QUrl make() { return QUrl(QStringLiteral(".")); }
};

template <class T>
concept EmptyInitializable = requires
{
    {
        EmptyValue<T>::make()
        } -> std::same_as<T>;
};

template <EmptyInitializable T> T emptyValue()
{
    return EmptyValue<T>::make();
}

} // namespace zk
