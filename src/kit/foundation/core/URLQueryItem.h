#pragma once

#include <fmt/format.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zk {

// One name=value pair of a URL's query, both held already percent-encoded.
struct URLQueryItem {
    std::string name;
    std::optional<std::string> value; // absent: the item is the bare name

    bool operator==(const URLQueryItem&) const = default;
};

// Every byte of the UTF-8 text except ASCII letters, digits and "-._~" as %XX (upper-case hex).
// Letters of other scripts are encoded too, so the result is always a valid URL component.
std::string percentEncodedURLUnreserved(std::string_view text);

// The items of key-value pairs, in the pairs' order, each name and value percent-encoded; values
// are written as their text (numbers in decimal).
template <class Pairs> std::vector<URLQueryItem> toURLQueryItems(const Pairs& pairs)
{
    std::vector<URLQueryItem> items;
    for (const auto& [key, value] : pairs) {
        items.push_back({ percentEncodedURLUnreserved(fmt::format("{}", key)),
            percentEncodedURLUnreserved(fmt::format("{}", value)) });
    }
    return items;
}

// "name=value&name" as the items stand.
std::string queryString(const std::vector<URLQueryItem>& items);

// Each name with its value; of two items with one name, the later one's value wins.
std::map<std::string, std::optional<std::string>> dictionary(const std::vector<URLQueryItem>& items);

// The entries that have a value.
std::map<std::string, std::string> compactValues(
    const std::map<std::string, std::optional<std::string>>& entries);

} // namespace zk
