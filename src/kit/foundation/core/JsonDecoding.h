#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

namespace zk {

// A value decoded from JSON text, or nothing when the text is not valid JSON for the type; the
// failure is dropped on purpose: callers treat "could not read" as "not there".
template <class T> std::optional<T> decodeIfPossible(std::string_view json)
{
    try {
        return nlohmann::json::parse(json).get<T>();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

} // namespace zk
