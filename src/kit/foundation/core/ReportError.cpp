#include "kit/foundation/core/ReportError.h"

#include "kit/foundation/core/TextPatterns.h"
#include "platform/ErrorReporter.h"
#include "platform/Logger.h"

#include <fmt/format.h>

#include <mutex>
#include <optional>
#include <string_view>

namespace zk {

namespace {

struct Settings {
    std::mutex mutex;
    std::set<ErrorReporting::DomainAndCode> ignored;
    std::function<bool(const Error&)> accept;
};

Settings& settings()
{
    static Settings instance;
    return instance;
}

platform::ErrorEvent eventFor(const PlatformError& normalized)
{
    platform::ErrorEvent event;
    event.domain = normalized.domain();
    event.code = normalized.code();
    event.message = normalized.localizedDescription();
    for (const auto& [key, value] : normalized.userInfo()) {
        event.userInfo.emplace(key, errorInfoText(value));
        if (key == "file") {
            event.file = errorInfoText(value);
        } else if (key == "line") {
            if (const auto* number = std::get_if<std::int64_t>(&value)) {
                event.line = static_cast<int>(*number);
            }
        }
    }
    return event;
}

} // namespace

std::set<ErrorReporting::DomainAndCode> ErrorReporting::ignoredErrors()
{
    std::lock_guard guard(settings().mutex);
    return settings().ignored;
}

void ErrorReporting::setIgnoredErrors(std::set<DomainAndCode> ignored)
{
    std::lock_guard guard(settings().mutex);
    settings().ignored = std::move(ignored);
}

void ErrorReporting::setAcceptPredicate(std::function<bool(const Error&)> accept)
{
    std::lock_guard guard(settings().mutex);
    settings().accept = std::move(accept);
}

bool ErrorReporting::accepts(const Error& error)
{
    std::function<bool(const Error&)> accept;
    {
        std::lock_guard guard(settings().mutex);
        accept = settings().accept;
    }
    return !accept || accept(error);
}

AtomicDictionary<std::string, ErrorInfoValue>& ErrorReporting::customMetadata()
{
    static AtomicDictionary<std::string, ErrorInfoValue> metadata;
    return metadata;
}

bool matchesIgnored(const Error& error, const std::set<ErrorReporting::DomainAndCode>& ignored)
{
    if (ignored.empty()) {
        return false;
    }
    if (ignored.contains({ error.domain(), error.code() })) {
        return true;
    }
    for (const ErrorPtr& underlying : error.underlyingErrors()) {
        if (ignored.contains({ underlying->domain(), underlying->code() })) {
            return true;
        }
    }
    return false;
}

PlatformError normalizedError(const Error& error, const ErrorUserInfo& metadata)
{
    ErrorUserInfo userInfo = error.userInfo();
    for (const auto& [key, value] : metadata) {
        userInfo.insert_or_assign(key, value);
    }
    const std::int64_t code = error.code();
    if (error.isPlatformError() && code != 1) {
        return PlatformError(error.domain(), code, std::move(userInfo));
    }
    userInfo.insert_or_assign(ErrorKeys::localizedDescription, error.localizedDescription());
    const std::string codeString = TextPatterns::leadingName(error.debugDescription());
    const std::string domain = codeString.empty() ? error.domain() : error.domain() + "." + codeString;
    // The code is derived from this error's own text, every time: one fixed code for the whole
    // process would lump every kind of error together.
    const std::int64_t normalizedCode = code == 1 ? stableErrorCode(codeString) : code;
    userInfo.insert_or_assign("codeString", codeString);
    return PlatformError(domain, normalizedCode, std::move(userInfo));
}

void reportError(
    const Error& error, const ErrorUserInfo& userInfo, const std::string& file, int line) noexcept
{
    try {
        if (error.isCancellationError()) {
            return;
        }
        if (matchesIgnored(error, ErrorReporting::ignoredErrors())) {
            return;
        }
        if (!ErrorReporting::accepts(error)) {
            return;
        }
        ErrorUserInfo metadata = userInfo;
        metadata.try_emplace("file", file);
        metadata.try_emplace("line", std::int64_t { line });
        ErrorReporting::customMetadata().read([&](const auto& custom) {
            for (const auto& [key, value] : custom) {
                metadata.insert_or_assign(key, value);
            }
        });
        const PlatformError normalized = normalizedError(error, metadata);
        const platform::ErrorEvent event = eventFor(normalized);
        platform::log(platform::LogLevel::Warning, platform::lcDiagnostics(),
            fmt::format(
                "{} {} at {}:{}: {}", event.domain, event.code, event.file, event.line, event.message));
        platform::ErrorReporter::shared().capture(event);
    } catch (...) {
        // Reporting is the last resort; a failure here has nowhere else to go.
    }
}

void reportError(const Error& error, const ErrorUserInfo& userInfo, platform::SourceLocation where) noexcept
{
    try {
        reportError(error, userInfo, sourceFileIdentifier(where.file_name(), KIRUVO_SOURCE_ROOT),
            static_cast<int>(where.line()));
    } catch (...) {
    }
}

void reportError(const std::exception& exception, platform::SourceLocation where) noexcept
{
    try {
        if (const auto* error = dynamic_cast<const Error*>(&exception)) {
            reportError(*error, {}, where);
            return;
        }
        reportError(ExceptionError::wrapping(exception), {}, where);
    } catch (...) {
    }
}

void reportError(std::exception_ptr exception, platform::SourceLocation where) noexcept
{
    try {
        if (const ErrorPtr error = ExceptionError::from(exception)) {
            reportError(*error, {}, where);
        }
    } catch (...) {
    }
}

std::string sourceFileIdentifier(const char* path, std::string_view sourceRoot)
{
    const std::string_view text = path ? path : "";
    while (sourceRoot.ends_with('/')) {
        sourceRoot.remove_suffix(1);
    }
    if (!sourceRoot.empty() && text.size() > sourceRoot.size() && text.starts_with(sourceRoot)
        && text[sourceRoot.size()] == '/') {
        return std::string(text.substr(sourceRoot.size() + 1));
    }
    const auto slash = text.rfind('/');
    return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

} // namespace zk
