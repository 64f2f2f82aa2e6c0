#pragma once

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

// A checked e-mail address, without surrounding white space.
class EmailAddress {
public:
    // Trims white space and line breaks; nothing when what is left is no e-mail address.
    static std::optional<EmailAddress> make(std::string_view text);
    // An address written in the source: one that fails the check is reported as
    // std::invalid_argument("Invalid email address: <text as written>").
    static EmailAddress literal(std::string_view text);
    // Stored text as it was, checked or not.
    static EmailAddress decoded(std::string text) { return EmailAddress(std::move(text)); }

    const std::string& rawValue() const { return m_rawValue; }
    const std::string& id() const { return m_rawValue; }
    bool operator==(const EmailAddress&) const = default;

private:
    explicit EmailAddress(std::string text)
        : m_rawValue(std::move(text))
    {
    }
    std::string m_rawValue;
};

} // namespace zk

// Coded as its text alone. Stored text is kept as it was: the check is for what people type, not
// for what was saved.
template <> struct nlohmann::adl_serializer<zk::EmailAddress> {
    static zk::EmailAddress from_json(const nlohmann::json& json);
    static void to_json(nlohmann::json& json, const zk::EmailAddress& address);
};

template <> struct std::hash<zk::EmailAddress> {
    std::size_t operator()(const zk::EmailAddress& value) const
    {
        return std::hash<std::string> {}(value.rawValue());
    }
};
