#include "kit/foundation/AppErrorBuilder.h"

#include "kit/foundation/ZKApp.h"

#include <memory>

namespace zk {

PlatformError makeAppError(AppErrorParts parts)
{
    ErrorUserInfo info = std::move(parts.userInfo);
    info.insert_or_assign(ErrorKeys::localizedDescription, std::move(parts.description));
    if (parts.recoverySuggestion) {
        info.insert_or_assign(ErrorKeys::localizedRecoverySuggestion, std::move(*parts.recoverySuggestion));
    }
    if (!parts.recoveryOptions.empty()) {
        std::vector<std::string> titles;
        titles.reserve(parts.recoveryOptions.size());
        for (const auto& option : parts.recoveryOptions) {
            titles.push_back(option.title);
        }
        info.insert_or_assign(ErrorKeys::localizedRecoveryOptions, std::move(titles));
        info.insert_or_assign(ErrorKeys::recoveryAttempter,
            std::make_shared<ErrorRecoveryAttempter>(std::move(parts.recoveryOptions)));
    }
    if (parts.helpAnchor) {
        info.insert_or_assign(ErrorKeys::helpAnchor, std::move(*parts.helpAnchor));
    }
    if (parts.underlyingError) {
        info.insert_or_assign(
            ErrorKeys::underlyingError, std::vector<ErrorPtr> { std::move(parts.underlyingError) });
    }
    if (parts.url) {
        info.insert_or_assign(ErrorKeys::url, std::move(*parts.url));
    }
    std::string domain = ZKApp::id();
    if (parts.domainPostfix) {
        domain += " - " + *parts.domainPostfix;
    }
    return PlatformError(std::move(domain), 1, std::move(info));
}

PlatformError makeAppError(std::string description)
{
    return makeAppError(AppErrorParts { .description = std::move(description) });
}

} // namespace zk
