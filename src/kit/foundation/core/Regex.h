#pragma once

#include "platform/SourceLocation.h"
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace zk {

// A span of UTF-16 code units, the unit in which the regular-expression engine counts positions.
struct Utf16Range {
    static constexpr std::int32_t notFound = -1;

    std::int32_t location = 0;
    std::int32_t length = 0;

    constexpr std::int32_t end() const { return location + length; }
    constexpr bool operator==(const Utf16Range&) const = default;
};

// The engine's own result for one match: the UTF-16 range of the whole match (index 0) and of every
// capture group (a group that took no part has location Utf16Range::notFound). It keeps the
// searched text and the pattern so that groups can be read back by name.
class RegexCheckingResult {
public:
    RegexCheckingResult() = default;
    RegexCheckingResult(std::vector<Utf16Range> ranges, std::shared_ptr<const icu::UnicodeString> text,
        std::shared_ptr<const icu::RegexPattern> pattern);

    Utf16Range range() const { return rangeAt(0); }
    Utf16Range rangeAt(std::size_t index) const;
    std::size_t numberOfRanges() const { return m_ranges.size(); }
    // The capture index of a named group, or nothing when the pattern has no group of that name.
    std::optional<std::size_t> groupIndex(std::string_view name) const;
    const icu::UnicodeString& text() const;

    bool operator==(const RegexCheckingResult& other) const;

private:
    std::vector<Utf16Range> m_ranges;
    std::shared_ptr<const icu::UnicodeString> m_text;
    std::shared_ptr<const icu::RegexPattern> m_pattern;
};

// How a search treats its range; the default searches with anchoring, opaque bounds.
struct RegexMatchingOptions {
    bool anchored = false; // matches only at the start of the range or right after the previous one
    bool withTransparentBounds = false; // look-around may see text outside the range
    bool withoutAnchoringBounds = false; // ^ and $ do not match at the range's ends
};

// A compiled regular expression in ICU syntax over UTF-8 text. Positions in results are UTF-16
// offsets (as the engine counts), widened so that no user-perceived character is ever split.
// Immutable and safe to share between threads.
class Regex {
public:
    // ICU compile flags (UREGEX_CASE_INSENSITIVE, UREGEX_MULTILINE, ...), or-ed together.
    using Options = std::uint32_t;

    using MatchingOptions = RegexMatchingOptions;

    // The engine's complaint about a pattern that does not compile.
    class Error : public std::runtime_error {
    public:
        Error(int code, std::int32_t offset, const std::string& description);
        int code() const { return m_code; } // the ICU UErrorCode
        std::int32_t offset() const { return m_offset; } // UTF-16 offset in the pattern, or -1
        std::string localizedDescription() const { return what(); }

    private:
        int m_code;
        std::int32_t m_offset;
    };

    struct Match {
        struct Group {
            std::string value;
            Utf16Range range;
            bool operator==(const Group&) const = default;
        };

        std::string originalString;
        RegexCheckingResult checkingResult;
        std::string value;
        Utf16Range range;
        std::vector<Group> groups;

        // The text of a named group, or nothing when it took no part or matched the empty text.
        std::optional<std::string> group(std::string_view named) const;

        bool operator==(const Match&) const = default;
    };

    // Compiles a pattern given at run time; throws Regex::Error when it does not compile.
    explicit Regex(std::string_view pattern, Options options = 0);

    // For patterns written in the source: one that does not compile is a programming fault and stops
    // the program, naming the caller's file and line.
    static Regex literal(std::string_view pattern, Options options = 0,
        platform::SourceLocation location = platform::SourceLocation::current());

    std::string pattern() const;
    Options options() const { return m_options; }

    // The text with every character the syntax treats specially escaped, so that the result,
    // compiled, matches the text literally.
    static std::string escapedPattern(std::string_view text);

    std::optional<Match> firstMatch(std::string_view in) const;
    std::vector<Match> matches(std::string_view in) const;
    bool isMatched(std::string_view text) const { return firstMatch(text).has_value(); }

    // The engine-level searches: a range of the text in UTF-16 code units (the whole text when none
    // is given; a range reaching past the text is cut to it).
    std::vector<RegexCheckingResult> matchResults(
        std::string_view in, MatchingOptions options = {}, std::optional<Utf16Range> range = {}) const;
    std::optional<RegexCheckingResult> firstMatchResult(
        std::string_view in, MatchingOptions options = {}, std::optional<Utf16Range> range = {}) const;

    // The match of an engine result over the text it was searched in.
    static Match makeMatch(const RegexCheckingResult& result, std::string_view originalString);
    // The text of each result's whole match, in order, each widened to whole characters.
    static std::vector<std::string> matchTexts(
        const std::vector<RegexCheckingResult>& results, std::string_view in);
    // The text over a UTF-16 range, widened to whole characters; nothing when the range lies outside.
    static std::optional<std::string> text(std::string_view in, Utf16Range range);

    // The text with its first match replaced by the template's expansion ("$0" the match, "$1" a
    // group, "\\" quotes the next character); unchanged when nothing matches.
    std::string replacingFirstMatch(std::string_view in, std::string_view withTemplate) const;
    std::string replacingAllMatches(
        std::string_view in, std::string_view withTemplate, MatchingOptions options = {}) const;

    bool operator==(const Regex& other) const;
    std::size_t hash() const;

private:
    Regex(std::shared_ptr<const icu::RegexPattern> pattern, Options options);
    std::string replacingAllMatches(
        std::string_view in, std::string_view withTemplate, MatchingOptions options, bool firstOnly) const;

    std::shared_ptr<const icu::RegexPattern> m_pattern;
    Options m_options = 0;
};

// String-side forms; the literal-pattern forms stop the program on an invalid pattern.
bool isMatched(std::string_view text, const Regex& by);
std::string replacingFirstMatch(std::string_view text, const Regex& of, std::string_view with);
std::string replacingFirstMatch(std::string_view text, std::string_view ofLiteral, std::string_view with,
    platform::SourceLocation location = platform::SourceLocation::current());
std::string replacingAllMatches(
    std::string_view text, const Regex& of, std::string_view with, Regex::MatchingOptions options = {});
std::string replacingAllMatches(std::string_view text, std::string_view ofLiteral, std::string_view with,
    Regex::MatchingOptions options = {},
    platform::SourceLocation location = platform::SourceLocation::current());

} // namespace zk

template <> struct std::hash<zk::Regex> {
    std::size_t operator()(const zk::Regex& regex) const { return regex.hash(); }
};
