#pragma once

#include "kit/foundation/core/ErrorRecoveryAttempter.h"
#include "kit/foundation/core/ErrorValues.h"

#include <optional>
#include <string>
#include <vector>

namespace zk {

// The parts of an error that the application presents itself.
struct AppErrorParts {
    std::string description;
    std::optional<std::string> recoverySuggestion {};
    // Buttons of the error's alert that really run code.
    std::vector<ErrorRecoveryAttempter::Option> recoveryOptions {};
    std::optional<std::string> helpAnchor {};
    // The starting details; the entries above replace those under the same keys.
    ErrorUserInfo userInfo {};
    // Appended to the domain after " - ".
    std::optional<std::string> domainPostfix {};
    ErrorPtr underlyingError {};
    // The file concerned.
    std::optional<std::string> url {};
};

// An error in the application's domain (its bundle identifier "com.zelvantorium.Kiruvo", or that
// + " - " + postfix), always code 1, whose details hold the description, the recovery suggestion,
// the option titles with their attempter, the help anchor, the underlying error and the URL, each
// only when given.
PlatformError makeAppError(AppErrorParts parts);
// Only a description.
PlatformError makeAppError(std::string description);

} // namespace zk
