#include "kit/foundation/core/URLQueryItem.h"

namespace zk {

std::string percentEncodedURLUnreserved(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')
            || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (unreserved) {
            result += c;
        } else {
            result += '%';
            result += hex[byte >> 4];
            result += hex[byte & 0x0F];
        }
    }
    return result;
}

std::string queryString(const std::vector<URLQueryItem>& items)
{
    std::string result;
    for (const auto& item : items) {
        if (!result.empty()) {
            result += '&';
        }
        result += item.name;
        if (item.value) {
            result += '=';
            result += *item.value;
        }
    }
    return result;
}

std::map<std::string, std::optional<std::string>> dictionary(const std::vector<URLQueryItem>& items)
{
    std::map<std::string, std::optional<std::string>> result;
    for (const auto& item : items) {
        result.insert_or_assign(item.name, item.value);
    }
    return result;
}

std::map<std::string, std::string> compactValues(
    const std::map<std::string, std::optional<std::string>>& entries)
{
    std::map<std::string, std::string> result;
    for (const auto& [name, value] : entries) {
        if (value) {
            result.emplace(name, *value);
        }
    }
    return result;
}

} // namespace zk
