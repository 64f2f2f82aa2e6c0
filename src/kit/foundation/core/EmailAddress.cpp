#include "kit/foundation/core/EmailAddress.h"

#include "kit/foundation/core/KitUtilities.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace zk {

namespace {
std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view blanks = " \t\n\r\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
} // namespace

std::optional<EmailAddress> EmailAddress::make(std::string_view text)
{
    const std::string_view address = trimmed(text);
    if (address.empty() || !isEmailAddress(address)) {
        return std::nullopt;
    }
    return EmailAddress(std::string(address));
}

EmailAddress EmailAddress::literal(std::string_view text)
{
    if (auto address = make(text)) {
        return *address;
    }
    throw std::invalid_argument("Invalid email address: " + std::string(text));
}

} // namespace zk

zk::EmailAddress nlohmann::adl_serializer<zk::EmailAddress>::from_json(const nlohmann::json& json)
{
    return zk::EmailAddress::decoded(json.get<std::string>());
}

void nlohmann::adl_serializer<zk::EmailAddress>::to_json(
    nlohmann::json& json, const zk::EmailAddress& address)
{
    json = address.rawValue();
}
