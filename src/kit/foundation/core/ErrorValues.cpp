#include "kit/foundation/core/ErrorValues.h"

#include "kit/foundation/core/ErrorRecoveryAttempter.h"
#include "kit/foundation/core/FatalError.h"
#include "kit/foundation/core/TextPatterns.h"

#include <fmt/format.h>

#include <cxxabi.h>
#include <typeinfo>

namespace zk {

namespace {

std::string genericDescription(const Error& error)
{
    return fmt::format(
        "The operation couldn\u2019t be completed. ({} error {}.)", error.domain(), error.code());
}

std::string demangled(const char* name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

} // namespace

std::string Error::localizedDescription() const
{
    const ErrorUserInfo info = userInfo();
    if (auto found = info.find(ErrorKeys::localizedDescription); found != info.end()) {
        if (const auto* text = std::get_if<std::string>(&found->second)) {
            return *text;
        }
    }
    return genericDescription(*this);
}

std::string Error::recoverySuggestion() const
{
    const ErrorUserInfo info = userInfo();
    if (auto found = info.find(ErrorKeys::localizedRecoverySuggestion); found != info.end()) {
        if (const auto* text = std::get_if<std::string>(&found->second)) {
            return *text;
        }
    }
    return {};
}

std::vector<ErrorPtr> Error::underlyingErrors() const
{
    std::vector<ErrorPtr> result;
    const ErrorUserInfo info = userInfo();
    for (const char* key : { ErrorKeys::underlyingError, ErrorKeys::multipleUnderlyingErrors }) {
        if (auto found = info.find(key); found != info.end()) {
            if (const auto* errors = std::get_if<std::vector<ErrorPtr>>(&found->second)) {
                for (const ErrorPtr& error : *errors) {
                    if (error) {
                        result.push_back(error);
                    }
                }
            }
        }
    }
    return result;
}

bool Error::isError(std::string_view domainText, std::int64_t codeValue) const
{
    return code() == codeValue && domain() == domainText;
}

bool Error::hasUnderlyingError(std::string_view domainText, std::int64_t codeValue) const
{
    if (isError(domainText, codeValue)) {
        return true;
    }
    for (const ErrorPtr& underlying : underlyingErrors()) {
        if (underlying->isError(domainText, codeValue)) {
            return true;
        }
    }
    return false;
}

bool Error::isCancelled() const
{
    return isCancellationError() || isError(ErrorDomains::urlLoading, ErrorDomains::urlCancelledCode)
        || isError(ErrorDomains::cocoa, ErrorDomains::userCancelledCode)
        || isError(ErrorDomains::storeKit, ErrorDomains::paymentCancelledCode);
}

PlatformError::PlatformError(std::string domain, std::int64_t code, ErrorUserInfo userInfo)
    : m_domain(std::move(domain))
    , m_code(code)
    , m_userInfo(std::move(userInfo))
{
    m_what = localizedDescription();
}

std::string PlatformError::debugDescription() const
{
    std::string info;
    for (const auto& [key, value] : m_userInfo) {
        info += fmt::format("{}{}={}", info.empty() ? "" : ", ", key, errorInfoText(value));
    }
    return fmt::format("Error Domain={} Code={} {} UserInfo={{{}}}", m_domain, m_code,
        detail::debugText(localizedDescription()), info);
}

PlatformError PlatformError::appendingUserInfo(const ErrorUserInfo& extra) const
{
    ErrorUserInfo merged = m_userInfo;
    for (const auto& [key, value] : extra) {
        merged.insert_or_assign(key, value);
    }
    return PlatformError(m_domain, m_code, std::move(merged));
}

EnumCaseError::EnumCaseError(std::string typeDomain, std::int64_t caseIndex, std::string caseName,
    std::string payload, std::string description)
    : m_domain(std::move(typeDomain))
    , m_caseIndex(caseIndex)
    , m_caseName(std::move(caseName))
    , m_payload(std::move(payload))
    , m_description(std::move(description))
{
}

std::string EnumCaseError::localizedDescription() const
{
    return m_description.empty() ? genericDescription(*this) : m_description;
}

std::string EnumCaseError::debugDescription() const
{
    return m_payload.empty() ? m_caseName : m_caseName + "(" + m_payload + ")";
}

ExceptionError::ExceptionError(std::string typeName, std::string message)
    : m_typeName(std::move(typeName))
    , m_message(std::move(message))
{
}

std::string ExceptionError::debugDescription() const
{
    return m_typeName + "(" + detail::debugText(m_message) + ")";
}

ExceptionError ExceptionError::wrapping(const std::exception& exception)
{
    return ExceptionError(demangled(typeid(exception).name()), exception.what());
}

ErrorPtr ExceptionError::from(std::exception_ptr exception)
{
    if (!exception) {
        return nullptr;
    }
    try {
        std::rethrow_exception(exception);
    } catch (const Error& error) {
        // The thrown object lives as long as an exception pointer to it does.
        return ErrorPtr(std::make_shared<std::exception_ptr>(exception), &error);
    } catch (const std::exception& other) {
        return std::make_shared<ExceptionError>(wrapping(other));
    } catch (...) {
        return std::make_shared<ExceptionError>("unknown", "An unknown exception was thrown.");
    }
}

std::string errorInfoText(const ErrorInfoValue& value)
{
    struct Visitor {
        std::string operator()(const std::string& text) const { return text; }
        std::string operator()(std::int64_t number) const { return std::to_string(number); }
        std::string operator()(double number) const { return fmt::format("{}", number); }
        std::string operator()(bool flag) const { return flag ? "true" : "false"; }
        std::string operator()(const std::vector<std::string>& texts) const
        {
            std::string out = "[";
            for (std::size_t i = 0; i < texts.size(); ++i) {
                out += (i ? ", " : "") + detail::debugText(texts[i]);
            }
            return out + "]";
        }
        std::string operator()(const std::vector<ErrorPtr>& errors) const
        {
            std::string out = "[";
            for (std::size_t i = 0; i < errors.size(); ++i) {
                out += i ? ", " : "";
                out += errors[i] ? fmt::format("{} {}", errors[i]->domain(), errors[i]->code()) : "nil";
            }
            return out + "]";
        }
        std::string operator()(const std::shared_ptr<ErrorRecoveryAttempter>& attempter) const
        {
            return fmt::format(
                "ErrorRecoveryAttempter({} options)", attempter ? attempter->recoveryOptions().size() : 0);
        }
    };
    return std::visit(Visitor {}, value);
}

std::int64_t fnv1aHash(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return static_cast<std::int64_t>(hash);
}

std::int64_t stableErrorCode(std::string_view text)
{
    return fnv1aHash(TextPatterns::withoutCurlyQuoted(text));
}

} // namespace zk
