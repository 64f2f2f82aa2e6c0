#include "kit/foundation/core/Regex.h"

#include "kit/foundation/core/FatalError.h"
#include "platform/Logger.h"

#include <algorithm>
#include <functional>

#include <fmt/format.h>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utypes.h>

namespace zk {

namespace {

std::shared_ptr<const icu::UnicodeString> toUnicode(std::string_view text)
{
    return std::make_shared<const icu::UnicodeString>(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size()))));
}

std::string toUtf8(const icu::UnicodeString& text, std::int32_t start, std::int32_t end)
{
    std::string result;
    text.tempSubStringBetween(start, end).toUTF8String(result);
    return result;
}

std::string toUtf8(const icu::UnicodeString& text)
{
    std::string result;
    text.toUTF8String(result);
    return result;
}

// Widens UTF-16 ranges so they start and end on user-perceived character (grapheme cluster)
// boundaries: a match that ends between a letter and its combining mark, or inside a flag, covers
// the whole character.
class CharacterWidener {
public:
    explicit CharacterWidener(const icu::UnicodeString& text)
        : m_length(text.length())
    {
        UErrorCode status = U_ZERO_ERROR;
        thread_local std::unique_ptr<icu::BreakIterator> iterator(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        m_iterator = iterator.get();
        if (m_iterator) {
            m_iterator->setText(text);
        }
    }

    // Nothing when the range does not lie inside the text.
    std::optional<Utf16Range> widen(Utf16Range range) const
    {
        if (range.location < 0 || range.length < 0 || range.end() > m_length) {
            return std::nullopt;
        }
        if (!m_iterator) {
            return range;
        }
        std::int32_t start = range.location;
        std::int32_t end = range.end();
        if (!m_iterator->isBoundary(start)) {
            start = m_iterator->preceding(start);
        }
        if (!m_iterator->isBoundary(end)) {
            end = m_iterator->following(end);
        }
        if (start == icu::BreakIterator::DONE) {
            start = 0;
        }
        if (end == icu::BreakIterator::DONE) {
            end = m_length;
        }
        return Utf16Range { start, end - start };
    }

private:
    icu::BreakIterator* m_iterator = nullptr;
    std::int32_t m_length;
};

std::string describe(UErrorCode code, const UParseError& parseError, std::string_view pattern)
{
    if (parseError.offset >= 0) {
        return fmt::format("The value \u201c{}\u201d is invalid ({} at offset {}).", pattern,
            u_errorName(code), parseError.offset);
    }
    return fmt::format("The value \u201c{}\u201d is invalid ({}).", pattern, u_errorName(code));
}

std::unique_ptr<icu::RegexMatcher> makeMatcher(
    const icu::RegexPattern& pattern, const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (U_FAILURE(status)) {
        return nullptr;
    }
    return matcher;
}

RegexCheckingResult currentResult(icu::RegexMatcher& matcher,
    const std::shared_ptr<const icu::UnicodeString>& text,
    const std::shared_ptr<const icu::RegexPattern>& pattern)
{
    std::vector<Utf16Range> ranges;
    const std::int32_t count = matcher.groupCount();
    ranges.reserve(static_cast<std::size_t>(count) + 1);
    for (std::int32_t index = 0; index <= count; ++index) {
        UErrorCode status = U_ZERO_ERROR;
        const std::int32_t start = matcher.start(index, status);
        const std::int32_t end = matcher.end(index, status);
        if (U_FAILURE(status) || start < 0) {
            ranges.push_back({ Utf16Range::notFound, 0 });
        } else {
            ranges.push_back({ start, end - start });
        }
    }
    return RegexCheckingResult(std::move(ranges), text, pattern);
}

// Runs a search over the text with the given options and range, calling `onMatch` for each match
// until it returns false.
void search(const std::shared_ptr<const icu::RegexPattern>& pattern,
    const std::shared_ptr<const icu::UnicodeString>& text, Regex::MatchingOptions options,
    std::optional<Utf16Range> range, const std::function<bool(icu::RegexMatcher&)>& onMatch)
{
    auto matcher = makeMatcher(*pattern, *text);
    if (!matcher) {
        return;
    }
    const std::int32_t length = text->length();
    std::int32_t start = 0;
    std::int32_t end = length;
    if (range) {
        const std::int64_t wantedEnd = std::int64_t { range->location } + std::max(range->length, 0);
        start = std::clamp(range->location, 0, length);
        end = static_cast<std::int32_t>(std::clamp<std::int64_t>(wantedEnd, start, length));
    }
    UErrorCode status = U_ZERO_ERROR;
    matcher->region(start, end, status);
    matcher->useAnchoringBounds(!options.withoutAnchoringBounds);
    matcher->useTransparentBounds(options.withTransparentBounds);
    std::int32_t expected = start;
    while (U_SUCCESS(status) && matcher->find(status)) {
        if (options.anchored && matcher->start(status) != expected) {
            break;
        }
        expected = matcher->end(status);
        if (!onMatch(*matcher)) {
            break;
        }
    }
}

} // namespace

// --- RegexCheckingResult --------------------------------------------------------------------------

RegexCheckingResult::RegexCheckingResult(std::vector<Utf16Range> ranges,
    std::shared_ptr<const icu::UnicodeString> text, std::shared_ptr<const icu::RegexPattern> pattern)
    : m_ranges(std::move(ranges))
    , m_text(std::move(text))
    , m_pattern(std::move(pattern))
{
}

Utf16Range RegexCheckingResult::rangeAt(std::size_t index) const
{
    if (index >= m_ranges.size()) {
        return { Utf16Range::notFound, 0 };
    }
    return m_ranges[index];
}

std::optional<std::size_t> RegexCheckingResult::groupIndex(std::string_view name) const
{
    if (!m_pattern) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    const std::int32_t index = m_pattern->groupNumberFromName(
        icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<std::int32_t>(name.size()))),
        status);
    if (U_FAILURE(status) || index < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

const icu::UnicodeString& RegexCheckingResult::text() const
{
    static const icu::UnicodeString empty;
    return m_text ? *m_text : empty;
}

bool RegexCheckingResult::operator==(const RegexCheckingResult& other) const
{
    const bool samePattern
        = m_pattern == other.m_pattern || (m_pattern && other.m_pattern && *m_pattern == *other.m_pattern);
    return m_ranges == other.m_ranges && samePattern && text() == other.text();
}

// --- Regex::Error ---------------------------------------------------------------------------------

Regex::Error::Error(int code, std::int32_t offset, const std::string& description)
    : std::runtime_error(description)
    , m_code(code)
    , m_offset(offset)
{
}

// --- Regex ----------------------------------------------------------------------------------------

Regex::Regex(std::shared_ptr<const icu::RegexPattern> pattern, Options options)
    : m_pattern(std::move(pattern))
    , m_options(options)
{
}

Regex::Regex(std::string_view pattern, Options options)
    : m_options(options)
{
    UParseError parseError {};
    parseError.offset = -1;
    UErrorCode status = U_ZERO_ERROR;
    const auto text = toUnicode(pattern);
    std::shared_ptr<const icu::RegexPattern> compiled(
        icu::RegexPattern::compile(*text, options, parseError, status));
    if (U_FAILURE(status) || !compiled) {
        throw Error(status, parseError.offset, describe(status, parseError, pattern));
    }
    m_pattern = std::move(compiled);
}

Regex Regex::literal(std::string_view pattern, Options options, platform::SourceLocation location)
{
    try {
        return Regex(pattern, options);
    } catch (const Error& error) {
        fatalError(std::string("Invalid regular expression: ") + error.what(), location);
    }
}

std::string Regex::pattern() const
{
    return toUtf8(m_pattern->pattern());
}

std::string Regex::escapedPattern(std::string_view text)
{
    static constexpr std::string_view special = "\\*?+[](){}^$|./-#";
    std::string result;
    result.reserve(text.size() * 2);
    for (const char c : text) {
        if (special.find(c) != std::string_view::npos) {
            result += '\\';
        }
        result += c;
    }
    return result;
}

std::vector<RegexCheckingResult> Regex::matchResults(
    std::string_view in, MatchingOptions options, std::optional<Utf16Range> range) const
{
    const auto text = toUnicode(in);
    std::vector<RegexCheckingResult> results;
    search(m_pattern, text, options, range, [&](icu::RegexMatcher& matcher) {
        results.push_back(currentResult(matcher, text, m_pattern));
        return true;
    });
    return results;
}

std::optional<RegexCheckingResult> Regex::firstMatchResult(
    std::string_view in, MatchingOptions options, std::optional<Utf16Range> range) const
{
    const auto text = toUnicode(in);
    std::optional<RegexCheckingResult> result;
    search(m_pattern, text, options, range, [&](icu::RegexMatcher& matcher) {
        result = currentResult(matcher, text, m_pattern);
        return false;
    });
    return result;
}

Regex::Match Regex::makeMatch(const RegexCheckingResult& result, std::string_view originalString)
{
    std::shared_ptr<const icu::UnicodeString> converted;
    const icu::UnicodeString* text = &result.text();
    if (text->isEmpty() && !originalString.empty()) {
        converted = toUnicode(originalString);
        text = converted.get();
    }
    const CharacterWidener widener(*text);

    Match match;
    match.originalString = std::string(originalString);
    match.checkingResult = result;
    if (const auto range = widener.widen(result.range())) {
        match.range = *range;
        match.value = toUtf8(*text, range->location, range->end());
    }
    for (std::size_t index = 1; index < result.numberOfRanges(); ++index) {
        const Utf16Range groupRange = result.rangeAt(index);
        if (groupRange.location == Utf16Range::notFound || groupRange.length == 0) {
            continue;
        }
        if (const auto range = widener.widen(groupRange)) {
            match.groups.push_back({ toUtf8(*text, range->location, range->end()), *range });
        }
    }
    return match;
}

std::vector<std::string> Regex::matchTexts(
    const std::vector<RegexCheckingResult>& results, std::string_view in)
{
    const auto text = toUnicode(in);
    const CharacterWidener widener(*text);
    std::vector<std::string> texts;
    texts.reserve(results.size());
    for (const auto& result : results) {
        if (const auto range = widener.widen(result.range())) {
            texts.push_back(toUtf8(*text, range->location, range->end()));
        }
    }
    return texts;
}

std::optional<std::string> Regex::text(std::string_view in, Utf16Range range)
{
    const auto text = toUnicode(in);
    const CharacterWidener widener(*text);
    const auto widened = widener.widen(range);
    if (!widened) {
        return std::nullopt;
    }
    return toUtf8(*text, widened->location, widened->end());
}

std::optional<Regex::Match> Regex::firstMatch(std::string_view in) const
{
    auto result = firstMatchResult(in);
    if (!result) {
        return std::nullopt;
    }
    return makeMatch(*result, in);
}

std::vector<Regex::Match> Regex::matches(std::string_view in) const
{
    std::vector<Match> matches;
    for (const auto& result : matchResults(in)) {
        matches.push_back(makeMatch(result, in));
    }
    return matches;
}

// The replacement covers exactly the engine's match, as replacing all matches does: widening it to
// whole characters would delete the combining marks that follow a matched base letter.
std::string Regex::replacingFirstMatch(std::string_view in, std::string_view withTemplate) const
{
    return replacingAllMatches(in, withTemplate, {}, true);
}

std::string Regex::replacingAllMatches(
    std::string_view in, std::string_view withTemplate, MatchingOptions options) const
{
    return replacingAllMatches(in, withTemplate, options, false);
}

std::string Regex::replacingAllMatches(
    std::string_view in, std::string_view withTemplate, MatchingOptions options, bool firstOnly) const
{
    const auto text = toUnicode(in);
    const auto replacement = toUnicode(withTemplate);
    icu::UnicodeString result;
    bool failed = false;
    auto matcher = makeMatcher(*m_pattern, *text);
    if (!matcher) {
        return std::string(in);
    }
    UErrorCode status = U_ZERO_ERROR;
    matcher->useAnchoringBounds(!options.withoutAnchoringBounds);
    matcher->useTransparentBounds(options.withTransparentBounds);
    std::int32_t expected = 0;
    while (matcher->find(status) && U_SUCCESS(status)) {
        if (options.anchored && matcher->start(status) != expected) {
            break;
        }
        expected = matcher->end(status);
        matcher->appendReplacement(result, *replacement, status);
        if (U_FAILURE(status)) {
            failed = true;
            break;
        }
        if (firstOnly) {
            break;
        }
    }
    if (failed) {
        // A template naming a group the pattern lacks: leave the text as it was rather than
        // produce a half-replaced one.
        platform::log(platform::LogLevel::Error, platform::lcCore(),
            fmt::format("The replacement template \"{}\" does not fit the pattern \"{}\" ({}); the text "
                        "is left as it was.",
                withTemplate, pattern(), u_errorName(status)));
        return std::string(in);
    }
    matcher->appendTail(result);
    return toUtf8(result);
}

bool Regex::operator==(const Regex& other) const
{
    return m_pattern == other.m_pattern || *m_pattern == *other.m_pattern;
}

std::size_t Regex::hash() const
{
    return static_cast<std::size_t>(m_pattern->pattern().hashCode()) * 31u + m_options;
}

// --- String-side forms ----------------------------------------------------------------------------

bool isMatched(std::string_view text, const Regex& by)
{
    return by.isMatched(text);
}

std::string replacingFirstMatch(std::string_view text, const Regex& of, std::string_view with)
{
    return of.replacingFirstMatch(text, with);
}

std::string replacingFirstMatch(std::string_view text, std::string_view ofLiteral, std::string_view with,
    platform::SourceLocation location)
{
    return Regex::literal(ofLiteral, 0, location).replacingFirstMatch(text, with);
}

std::string replacingAllMatches(
    std::string_view text, const Regex& of, std::string_view with, Regex::MatchingOptions options)
{
    return of.replacingAllMatches(text, with, options);
}

std::string replacingAllMatches(std::string_view text, std::string_view ofLiteral, std::string_view with,
    Regex::MatchingOptions options, platform::SourceLocation location)
{
    return Regex::literal(ofLiteral, 0, location).replacingAllMatches(text, with, options);
}

// --- Match ----------------------------------------------------------------------------------------

std::optional<std::string> Regex::Match::group(std::string_view named) const
{
    const auto index = checkingResult.groupIndex(named);
    if (!index) {
        return std::nullopt;
    }
    const Utf16Range range = checkingResult.rangeAt(*index);
    if (range.location == Utf16Range::notFound || range.length == 0) {
        return std::nullopt;
    }
    const icu::UnicodeString& text = checkingResult.text();
    const CharacterWidener widener(text);
    const auto widened = widener.widen(range);
    if (!widened) {
        return std::nullopt;
    }
    return toUtf8(text, widened->location, widened->end());
}

} // namespace zk
