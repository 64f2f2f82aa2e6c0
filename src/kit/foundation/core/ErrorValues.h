#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zk {

class Error;
class ErrorRecoveryAttempter;
using ErrorPtr = std::shared_ptr<const Error>;

// A value in an error's details: texts and numbers, the recovery options' titles, the underlying
// errors and the recovery attempter.
using ErrorInfoValue = std::variant<std::string, std::int64_t, double, bool, std::vector<std::string>,
    std::vector<ErrorPtr>, std::shared_ptr<ErrorRecoveryAttempter>>;
using ErrorUserInfo = std::map<std::string, ErrorInfoValue>;

// The keys under which errors keep their standard details.
namespace ErrorKeys {
inline constexpr const char* localizedDescription = "NSLocalizedDescription";
inline constexpr const char* localizedFailureReason = "NSLocalizedFailureReason";
inline constexpr const char* localizedRecoverySuggestion = "NSLocalizedRecoverySuggestion";
inline constexpr const char* localizedRecoveryOptions = "NSLocalizedRecoveryOptions";
inline constexpr const char* recoveryAttempter = "NSRecoveryAttempter";
inline constexpr const char* helpAnchor = "NSHelpAnchor";
inline constexpr const char* url = "NSURL";
inline constexpr const char* underlyingError = "NSUnderlyingError";
inline constexpr const char* multipleUnderlyingErrors = "NSMultipleUnderlyingErrorsKey";
} // namespace ErrorKeys

// Domains and codes that the cancellation test knows.
namespace ErrorDomains {
inline constexpr const char* urlLoading = "NSURLErrorDomain";
// The file and property-list error codes the kit's file operations report in the Cocoa domain.
inline constexpr std::int64_t fileNoSuchFile = 4;
inline constexpr std::int64_t fileWriteUnknown = 512;
inline constexpr std::int64_t propertyListWriteInvalid = 3852;
inline constexpr const char* cocoa = "NSCocoaErrorDomain";
inline constexpr const char* storeKit = "SKErrorDomain";
inline constexpr std::int64_t urlCancelledCode = -999;
inline constexpr std::int64_t userCancelledCode = 3072;
inline constexpr std::int64_t paymentCancelledCode = 2;
} // namespace ErrorDomains

// An error value: a domain, a code and details, as every error is when it is recorded or shown.
// Errors of the program's own types ("own" errors) and system errors ("platform" errors, built
// from a domain and code as they are) are told apart, since reporting groups them differently:
// an own error is code 1 unless it is an enumeration case, whose code is its case index.
class Error : public std::exception {
public:
    ~Error() override = default;

    virtual std::string domain() const = 0;
    virtual std::int64_t code() const { return 1; }
    // The details, including the standard texts under their keys.
    virtual ErrorUserInfo userInfo() const { return {}; }
    // The message shown to the user.
    virtual std::string localizedDescription() const;
    virtual std::string recoverySuggestion() const;
    // The text a debugger shows for the value: the case or type name, then its payload in
    // parentheses ("negativeDuration(-3.0)").
    virtual std::string debugDescription() const = 0;
    // True for a system error in its own right, false for an error of the program's own types.
    virtual bool isPlatformError() const { return false; }
    // True only for the cancellation of a task.
    virtual bool isCancellationError() const { return false; }

    // The errors listed under the underlying-errors keys, in order.
    std::vector<ErrorPtr> underlyingErrors() const;

    // Whether domain and code equal these (case-sensitive).
    bool isError(std::string_view domain, std::int64_t code) const;
    // isError of this error or of one of its direct underlying errors (one level only).
    bool hasUnderlyingError(std::string_view domain, std::int64_t code) const;
    // A cancelled task, a cancelled URL load, a user-cancelled Cocoa operation or a cancelled payment.
    bool isCancelled() const;

    const char* what() const noexcept override { return "zk::Error"; }
};

// A system error in its own right, kept as domain, code and details. Also the form every error
// takes once it is normalised for a report.
class PlatformError final : public Error {
public:
    PlatformError(std::string domain, std::int64_t code, ErrorUserInfo userInfo = {});

    std::string domain() const override { return m_domain; }
    std::int64_t code() const override { return m_code; }
    ErrorUserInfo userInfo() const override { return m_userInfo; }
    std::string debugDescription() const override;
    bool isPlatformError() const override { return true; }

    // A new error with this domain and code and these details with `extra` set over them.
    PlatformError appendingUserInfo(const ErrorUserInfo& extra) const;

    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::string m_what;
    std::string m_domain;
    std::int64_t m_code;
    ErrorUserInfo m_userInfo;
};

// The cancellation of a task: callers keep a cancelled operation silent; it is never reported.
class CancellationError final : public Error {
public:
    std::string domain() const override { return "zk.CancellationError"; }
    std::string debugDescription() const override { return "CancellationError()"; }
    bool isCancellationError() const override { return true; }
};

// An error of the program's own enumeration types: its code is the case index and its debugging
// text the case name followed by the payload in parentheses, if there is one.
class EnumCaseError : public Error {
public:
    EnumCaseError(std::string typeDomain, std::int64_t caseIndex, std::string caseName,
        std::string payload = {}, std::string description = {});

    std::string domain() const override { return m_domain; }
    std::int64_t code() const override { return m_caseIndex; }
    std::string localizedDescription() const override;
    std::string debugDescription() const override;
    const char* what() const noexcept override { return m_caseName.c_str(); }

private:
    std::string m_domain;
    std::int64_t m_caseIndex;
    std::string m_caseName;
    std::string m_payload;
    std::string m_description;
};

// A C++ exception that is no Error, seen as an error of the program's own types.
class ExceptionError final : public Error {
public:
    ExceptionError(std::string typeName, std::string message);
    // The error for a caught exception: the Error itself when it is one (kept alive by the
    // exception pointer), else the exception wrapped; nothing for an empty pointer.
    static ErrorPtr from(std::exception_ptr exception);
    // A plain exception seen as an error, named after its dynamic type.
    static ExceptionError wrapping(const std::exception& exception);

    std::string domain() const override { return "std.exception"; }
    std::string localizedDescription() const override { return m_message; }
    std::string debugDescription() const override;
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_typeName;
    std::string m_message;
};

// Whether an operation's outcome (its value or the error it failed with) is a cancellation: never
// for a value, Error::isCancelled for an error; an empty error pointer is no cancellation.
template <class T> bool isCancelled(const std::variant<T, ErrorPtr>& result)
{
    const ErrorPtr* error = std::get_if<ErrorPtr>(&result);
    return error != nullptr && *error && (*error)->isCancelled();
}

// The text of a detail value as an error report shows it.
std::string errorInfoText(const ErrorInfoValue& value);

// The 64-bit FNV-1a hash of the text's UTF-8 bytes, read as a signed integer.
std::int64_t fnv1aHash(std::string_view text);

// The code that groups errors of one kind: the FNV-1a hash of the text once every part from a
// left to the next right curly double quote (“…”, on one line) is removed, so file names and other
// quoted particulars do not split one kind of error into many.
std::int64_t stableErrorCode(std::string_view text);

} // namespace zk
