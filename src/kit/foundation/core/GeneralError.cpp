#include "kit/foundation/core/GeneralError.h"

#include "kit/foundation/core/TextPatterns.h"

#include <memory>

namespace zk {

namespace {

std::string debugOptional(const std::optional<std::string>& text)
{
    if (!text) {
        return "nil";
    }
    std::string out = "Optional(\"";
    for (char c : *text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\")";
}

std::string withFullStop(std::string text)
{
    return text.ends_with('.') ? text : text + ".";
}

} // namespace

ErrorUserInfo makeErrorUserInfo(ErrorUserInfo userInfo,
    std::vector<ErrorRecoveryAttempter::Option> recoveryOptions, std::vector<ErrorPtr> underlyingErrors,
    std::optional<std::string> url)
{
    if (!recoveryOptions.empty()) {
        std::vector<std::string> titles;
        titles.reserve(recoveryOptions.size());
        for (const auto& option : recoveryOptions) {
            titles.push_back(option.title);
        }
        userInfo.insert_or_assign(ErrorKeys::localizedRecoveryOptions, std::move(titles));
        userInfo.insert_or_assign(ErrorKeys::recoveryAttempter,
            std::make_shared<ErrorRecoveryAttempter>(std::move(recoveryOptions)));
    }
    if (!underlyingErrors.empty()) {
        userInfo.insert_or_assign(ErrorKeys::multipleUnderlyingErrors, std::move(underlyingErrors));
    }
    if (url) {
        userInfo.insert_or_assign(ErrorKeys::url, std::move(*url));
    }
    return userInfo;
}

GeneralError::GeneralError(
    std::optional<std::string> errorDescription, std::optional<std::string> recoverySuggestion)
    : GeneralError(Parts { .errorDescription = std::move(errorDescription),
        .recoverySuggestion = std::move(recoverySuggestion) })
{
}

GeneralError::GeneralError(Parts parts)
    : m_errorDescription(std::move(parts.errorDescription))
    , m_recoverySuggestion(std::move(parts.recoverySuggestion))
    , m_helpAnchor(std::move(parts.helpAnchor))
    , m_errorUserInfo(makeErrorUserInfo(std::move(parts.userInfo), std::move(parts.recoveryOptions),
          std::move(parts.underlyingErrors), std::move(parts.url)))
{
}

ErrorUserInfo GeneralError::userInfo() const
{
    ErrorUserInfo info = m_errorUserInfo;
    if (m_errorDescription) {
        info.insert_or_assign(ErrorKeys::localizedDescription, *m_errorDescription);
    }
    if (m_recoverySuggestion) {
        info.insert_or_assign(ErrorKeys::localizedRecoverySuggestion, *m_recoverySuggestion);
    }
    if (m_helpAnchor) {
        info.insert_or_assign(ErrorKeys::helpAnchor, *m_helpAnchor);
    }
    return info;
}

std::string GeneralError::debugDescription() const
{
    std::string info;
    for (const auto& [key, value] : m_errorUserInfo) {
        info += (info.empty() ? "\"" : ", \"") + key + "\": " + errorInfoText(value);
    }
    return "GeneralError(errorDescription: " + debugOptional(m_errorDescription) + ", recoverySuggestion: "
        + debugOptional(m_recoverySuggestion) + ", helpAnchor: " + debugOptional(m_helpAnchor)
        + ", errorUserInfo: [" + (info.empty() ? ":" : info) + "])";
}

const char* GeneralError::what() const noexcept
{
    return m_errorDescription ? m_errorDescription->c_str() : "GeneralError";
}

std::string GeneralError::combinedMessage() const
{
    return zk::combinedMessage(*this);
}

std::string combinedMessage(const Error& error)
{
    const std::string description = TextPatterns::trimmed(error.localizedDescription());
    const std::string suggestion = error.recoverySuggestion();
    if (suggestion.empty()) {
        return description;
    }
    return withFullStop(description) + " " + withFullStop(TextPatterns::trimmed(suggestion));
}

} // namespace zk
