#pragma once

#include <nlohmann/json.hpp>

#include <compare>
#include <functional>
#include <string>

namespace zk {

// An application's identifier ("com.zelvantorium.Kiruvo"), kept exactly as given; coded as a string.
struct BundleIdentifier {
    std::string rawValue;
    const std::string& id() const { return rawValue; }
    auto operator<=>(const BundleIdentifier&) const = default;
};

inline void to_json(nlohmann::json& json, const BundleIdentifier& value)
{
    json = value.rawValue;
}
inline void from_json(const nlohmann::json& json, BundleIdentifier& value)
{
    value.rawValue = json.get<std::string>();
}

} // namespace zk

template <> struct std::hash<zk::BundleIdentifier> {
    std::size_t operator()(const zk::BundleIdentifier& value) const
    {
        return std::hash<std::string> {}(value.rawValue);
    }
};
