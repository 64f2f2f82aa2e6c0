#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zk {

// The maker's feedback form; it reads the query keys "product", "metadata", "messageField" and
// "extraInfo".
inline constexpr std::string_view feedbackPageAddress = "https://kiruvo.example/feedback";

// The feedback form's address with the product's name and the debug information filled in, and
// the message and extra information when given (an empty text is still given). Every value is
// percent-encoded, so blanks, line breaks, "&" and "=" reach the form unchanged.
std::string feedbackPageURL(std::string_view productName, std::string_view metadata,
    const std::optional<std::string>& message = std::nullopt,
    const std::optional<std::string>& extraInfo = std::nullopt);

} // namespace zk
