#pragma once

#include "kit/foundation/core/AtomicDictionary.h"
#include "kit/foundation/core/ErrorValues.h"

#include "platform/SourceLocation.h"
#include <exception>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace zk {

// Process-wide settings of error reporting, created on first use. Safe from any thread.
class ErrorReporting {
public:
    using DomainAndCode = std::pair<std::string, std::int64_t>;

    // Errors (or errors with a direct underlying error) of these domains and codes are not
    // reported. Empty at first.
    static std::set<DomainAndCode> ignoredErrors();
    static void setIgnoredErrors(std::set<DomainAndCode> ignored);

    // Errors for which this answers false are not reported. At first it accepts every error;
    // an empty function restores that.
    static void setAcceptPredicate(std::function<bool(const Error&)> accept);
    static bool accepts(const Error& error);

    // Entries added to every report, over the caller's and the call site's entries. Empty at first.
    static AtomicDictionary<std::string, ErrorInfoValue>& customMetadata();
};

// Whether the error's domain and code, or those of one of its direct underlying errors, are in
// `ignored`.
bool matchesIgnored(const Error& error, const std::set<ErrorReporting::DomainAndCode>& ignored);

// The form in which an error is recorded, so that failures of one kind share a domain and code:
// - a system error whose code is not 1 keeps its domain, code and details, with `metadata` set
//   over the details;
// - any other error gets `metadata` set over its details, its message under the description key,
//   and "codeString": its debugging text cut at the first "(" or blank ("negativeDuration");
//   the domain gains "." and that code string when it is not empty, and a code of 1 becomes the
//   stable code of the code string, so different kinds of one type stay apart.
PlatformError normalizedError(const Error& error, const ErrorUserInfo& metadata);

// Records an error that is caught and not otherwise shown: cancellations and ignored or
// unaccepted errors are dropped; the rest gets "file" and "line" (unless `userInfo` has them) and
// the custom metadata, is normalised and handed to the error reporter, and is logged. Runs on the
// caller's thread; never throws.
void reportError(
    const Error& error, const ErrorUserInfo& userInfo, const std::string& file, int line) noexcept;
void reportError(const Error& error, const ErrorUserInfo& userInfo = {},
    platform::SourceLocation where = platform::SourceLocation::current()) noexcept;
// A caught exception that may not be an Error: it is wrapped as an error of the program's own.
void reportError(const std::exception& exception,
    platform::SourceLocation where = platform::SourceLocation::current()) noexcept;
void reportError(std::exception_ptr exception,
    platform::SourceLocation where = platform::SourceLocation::current()) noexcept;

// The file identifier of a call site: its path below `sourceRoot` ("app/engine/SessionController.cpp"),
// or the file name alone when it lies elsewhere. The build gives the project's source folder as
// KIRUVO_SOURCE_ROOT, so identifiers never depend on where the checkout lives.
std::string sourceFileIdentifier(const char* path, std::string_view sourceRoot);

} // namespace zk
