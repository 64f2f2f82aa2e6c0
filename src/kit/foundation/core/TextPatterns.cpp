#include "kit/foundation/core/TextPatterns.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>

namespace zk::TextPatterns {

namespace {

// Patterns are compiled once; a matcher is made per call, so this is safe from any thread.
std::unique_ptr<icu::RegexPattern> compile(const char16_t* pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError where;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, where, status));
    return U_SUCCESS(status) ? std::move(compiled) : nullptr;
}

std::string replaceAll(const icu::RegexPattern* pattern, std::string_view text)
{
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
    if (!pattern) {
        return std::string(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(input, status));
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    const icu::UnicodeString output = matcher->replaceAll(icu::UnicodeString(), status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    std::string result;
    output.toUTF8String(result);
    return result;
}

} // namespace

std::string withoutCurlyQuoted(std::string_view text)
{
    static const std::unique_ptr<icu::RegexPattern> pattern = compile(u"\u201C.*?\u201D");
    return replaceAll(pattern.get(), text);
}

std::string leadingName(std::string_view text)
{
    static const std::unique_ptr<icu::RegexPattern> pattern = compile(u"(\\(|\\s).+");
    return trimmed(replaceAll(pattern.get(), text));
}

std::string trimmed(std::string_view text)
{
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
    int32_t start = 0;
    int32_t end = input.length();
    while (start < end && u_isUWhiteSpace(input.char32At(start))) {
        start = input.moveIndex32(start, 1);
    }
    while (end > start) {
        const int32_t previous = input.moveIndex32(end, -1);
        if (!u_isUWhiteSpace(input.char32At(previous))) {
            break;
        }
        end = previous;
    }
    std::string result;
    input.tempSubStringBetween(start, end).toUTF8String(result);
    return result;
}

} // namespace zk::TextPatterns
