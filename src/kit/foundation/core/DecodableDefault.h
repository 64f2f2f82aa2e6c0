#pragma once

#include <nlohmann/json.hpp>

#include <concepts>
#include <functional>

namespace zk::DecodableDefault {

// A type that names a default: `using Value = …;` and `static Value defaultValue();`.
template <class Source>
concept DecodableDefaultSource = requires
{
    typename Source::Value;
    {
        Source::defaultValue()
        } -> std::convertible_to<typename Source::Value>;
};

// A coded value whose type names its default: `Source` gives `using Value = …;` and
// `static Value defaultValue();`. It codes exactly as its value does (a bare value, no key); a
// value that does not decode is an error for the caller, never silently the default.
template <DecodableDefaultSource Source> struct Wrapper {
    using Value = typename Source::Value;
    Value wrappedValue = Source::defaultValue();

    bool operator==(const Wrapper&) const = default;
    auto id() const requires requires(const Value& v) { v.id(); }
    {
        return wrappedValue.id();
    }
};

template <class Source> void to_json(nlohmann::json& json, const Wrapper<Source>& wrapper)
{
    json = wrapper.wrappedValue;
}
template <class Source> void from_json(const nlohmann::json& json, Wrapper<Source>& wrapper)
{
    wrapper.wrappedValue = Source::defaultValue();
    wrapper.wrappedValue = json.get<typename Source::Value>();
}

} // namespace zk::DecodableDefault

template <class Source>
requires requires(const typename Source::Value& v)
{
    std::hash<typename Source::Value> {}(v);
}
struct std::hash<zk::DecodableDefault::Wrapper<Source>> {
    std::size_t operator()(const zk::DecodableDefault::Wrapper<Source>& wrapper) const
    {
        return std::hash<typename Source::Value> {}(wrapper.wrappedValue);
    }
};
