#pragma once

#include "platform/Logger.h"

#include "platform/SourceLocation.h"
#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace zk {

// Why the program stops: a programmer error, never a user's or the system's.
struct FatalReason {
    std::string reason;

    FatalReason(std::string text)
        : reason(std::move(text))
    {
    }
    FatalReason(const char* text)
        : reason(text)
    {
    }

    const std::string& description() const { return reason; }

    static const FatalReason& unreachable();
    static const FatalReason& notYetImplemented();
    static const FatalReason& mustBeOverridden();
    static const FatalReason& shouldNotBeCalled();
};

// The message fatalError stops with: the function's name, ": " and the reason.
std::string fatalErrorMessage(const FatalReason& reason, std::string_view function);

// Stops the program: logs "<file>:<line>: Fatal error: <function>: <reason>" and aborts, which
// leaves the launch marker behind so that the next launch knows this run crashed.
[[noreturn]] void fatalError(
    const FatalReason& reason, platform::SourceLocation where = platform::SourceLocation::current());

namespace detail {
std::string debugText(std::string_view text);
std::string debugText(const char* text);
std::string debugText(bool value);
std::string debugText(double value);
std::string debugText(long long value);
std::string debugText(unsigned long long value);

template <class T> std::string debugValue(const T& value)
{
    if constexpr (std::is_same_v<T, bool>) {
        return debugText(value);
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        return debugText(static_cast<long long>(value));
    } else if constexpr (std::is_integral_v<T>) {
        return debugText(static_cast<unsigned long long>(value));
    } else if constexpr (std::is_floating_point_v<T>) {
        return debugText(static_cast<double>(value));
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return debugText(std::string_view(value));
    } else if constexpr (requires { value.description(); }) {
        return std::string(value.description());
    } else if constexpr (requires {
                             value.has_value();
                             *value;
                         }) {
        return value.has_value() ? "Optional(" + debugValue(*value) + ")" : std::string("nil");
    } else {
        static_assert(sizeof(T) == 0, "debugLog has no text for this type");
    }
}

// The values and the location line as one log text.
std::string debugLogText(const std::string& values, const platform::SourceLocation& where);
void writeDebugLog(const std::string& text, platform::LogLevel level);
} // namespace detail

// The file name of a file identifier without its source-file extension ("SessionController").
std::string debugLogFileName(std::string_view fileIdentifier);

// The first value given to debugLog; converting it captures the caller's location.
struct DebugLogFirstValue {
    template <class T>
    requires(!std::is_same_v<T, platform::LogLevel>) DebugLogFirstValue(
        const T& value, platform::SourceLocation location = platform::SourceLocation::current())
        : text(detail::debugValue(value))
        , where(location)
    {
    }
    std::string text;
    platform::SourceLocation where;
};

// Writes the values, each in its debugging form (texts quoted and escaped, numbers bare) and
// separated by blanks, followed by a line break, a tab and "[function in File:line]" and a line
// break, to the log under kiruvo.diagnostics; the in-memory debug log also keeps it while debug
// mode is on, whatever Qt's logging rules let through to standard error.
// The log type is the level of the system-log line; it defaults to Info.
template <class... Rest>
void debugLog(platform::LogLevel type, const DebugLogFirstValue& first, const Rest&... rest)
{
    std::string text = first.text;
    // Appended in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a
    // temporary string once this is inlined.
    ((text += ' ', text += detail::debugValue(rest)), ...);
    detail::writeDebugLog(detail::debugLogText(text, first.where), type);
}
template <class... Rest> void debugLog(const DebugLogFirstValue& first, const Rest&... rest)
{
    debugLog(platform::LogLevel::Info, first, rest...);
}
void debugLog(platform::SourceLocation where = platform::SourceLocation::current());
void debugLog(platform::LogLevel type, platform::SourceLocation where = platform::SourceLocation::current());

} // namespace zk
