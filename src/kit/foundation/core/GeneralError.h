#pragma once

#include "kit/foundation/core/ErrorRecoveryAttempter.h"
#include "kit/foundation/core/ErrorValues.h"

#include <optional>
#include <string>
#include <vector>

namespace zk {

// The details of an error built from its parts: `userInfo`, then, each only when given, the
// recovery options' titles and an attempter holding the same options in the same order, the
// underlying errors, and the URL.
ErrorUserInfo makeErrorUserInfo(ErrorUserInfo userInfo,
    std::vector<ErrorRecoveryAttempter::Option> recoveryOptions, std::vector<ErrorPtr> underlyingErrors,
    std::optional<std::string> url);

// The kit's general-purpose error: it carries its own message, recovery suggestion, help anchor and
// recovery options. Every GeneralError has the same domain and code.
class GeneralError final : public Error {
public:
    static constexpr const char* errorDomain = "zk.GeneralError";

    struct Parts {
        std::optional<std::string> errorDescription {};
        std::optional<std::string> recoverySuggestion {};
        ErrorUserInfo userInfo {};
        std::optional<std::string> url {};
        std::vector<ErrorPtr> underlyingErrors {};
        std::vector<ErrorRecoveryAttempter::Option> recoveryOptions {};
        std::optional<std::string> helpAnchor {};
    };

    explicit GeneralError(std::optional<std::string> errorDescription,
        std::optional<std::string> recoverySuggestion = std::nullopt);
    explicit GeneralError(Parts parts);

    const std::optional<std::string>& errorDescription() const { return m_errorDescription; }
    const std::optional<std::string>& recoverySuggestionText() const { return m_recoverySuggestion; }
    const std::optional<std::string>& helpAnchor() const { return m_helpAnchor; }
    const ErrorUserInfo& errorUserInfo() const { return m_errorUserInfo; }

    std::string domain() const override { return errorDomain; }
    // The error user info with the three texts under their standard keys.
    ErrorUserInfo userInfo() const override;
    std::string debugDescription() const override;
    const char* what() const noexcept override;

    // The description and the recovery suggestion as one text, each trimmed and ending in a full
    // stop: "Could not save. Try again."; the trimmed description alone when there is no
    // suggestion.
    std::string combinedMessage() const;

private:
    std::optional<std::string> m_errorDescription;
    std::optional<std::string> m_recoverySuggestion;
    std::optional<std::string> m_helpAnchor;
    ErrorUserInfo m_errorUserInfo;
};

// The same joining for any error, from its localized description and recovery suggestion.
std::string combinedMessage(const Error& error);

} // namespace zk
