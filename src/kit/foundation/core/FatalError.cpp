#include "kit/foundation/core/FatalError.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace zk {

const FatalReason& FatalReason::unreachable()
{
    static const FatalReason reason("Should never be reached during execution.");
    return reason;
}

const FatalReason& FatalReason::notYetImplemented()
{
    static const FatalReason reason("Not yet implemented.");
    return reason;
}

const FatalReason& FatalReason::mustBeOverridden()
{
    static const FatalReason reason("Must be overridden in subtype.");
    return reason;
}

const FatalReason& FatalReason::shouldNotBeCalled()
{
    static const FatalReason reason("Should never be called.");
    return reason;
}

std::string fatalErrorMessage(const FatalReason& reason, std::string_view function)
{
    return std::string(function) + ": " + reason.reason;
}

void fatalError(const FatalReason& reason, platform::SourceLocation where)
{
    const std::string text = fmt::format("{}:{}: Fatal error: {}", debugLogFileName(where.file_name()),
        where.line(), fatalErrorMessage(reason, where.function_name()));
    platform::log(platform::LogLevel::Error, platform::lcCore(), text);
    std::abort();
}

std::string debugLogFileName(std::string_view fileIdentifier)
{
    const auto slash = fileIdentifier.rfind('/');
    std::string_view name
        = slash == std::string_view::npos ? fileIdentifier : fileIdentifier.substr(slash + 1);
    for (std::string_view extension :
        { ".cpp", ".cc", ".cxx", ".c", ".h", ".hpp", ".hh", ".mm", ".m", ".swift" }) {
        if (name.size() > extension.size() && name.ends_with(extension)) {
            name.remove_suffix(extension.size());
            break;
        }
    }
    return std::string(name);
}

namespace detail {

std::string debugText(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                out += fmt::format("\\u{{{:x}}}", static_cast<unsigned char>(c));
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string debugText(const char* text)
{
    return debugText(std::string_view(text ? text : ""));
}

std::string debugText(bool value)
{
    return value ? "true" : "false";
}

std::string debugText(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    // Reals always show a fraction or an exponent ("600.0"), as a debugger shows them.
    std::string text = fmt::format("{}", value);
    if (text.find_first_of(".eE") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string debugText(long long value)
{
    return std::to_string(value);
}

std::string debugText(unsigned long long value)
{
    return std::to_string(value);
}

std::string debugLogText(const std::string& values, const platform::SourceLocation& where)
{
    return fmt::format("{}\n\t[{} in {}:{}]\n", values, where.function_name(),
        debugLogFileName(where.file_name()), where.line());
}

void writeDebugLog(const std::string& text, platform::LogLevel level)
{
    platform::log(level, platform::lcDiagnostics(), text);
    platform::DebugLog::append(text);
}

} // namespace detail

void debugLog(platform::SourceLocation where)
{
    debugLog(platform::LogLevel::Info, where);
}

void debugLog(platform::LogLevel type, platform::SourceLocation where)
{
    detail::writeDebugLog(detail::debugLogText({}, where), type);
}

} // namespace zk
