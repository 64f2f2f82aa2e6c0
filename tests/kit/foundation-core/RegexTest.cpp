#include "kit/foundation/core/Regex.h"

#include <gtest/gtest.h>
#include <unicode/uregex.h>

using zk::Regex;
using zk::Utf16Range;

namespace {
// "é" written as e + COMBINING ACUTE ACCENT, and the German flag (two regional indicators, each a
// UTF-16 surrogate pair).
const std::string eAcute = "e\xCC\x81";
const std::string flag = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";
const std::string grinning = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units
} // namespace

TEST(Regex, GroupsLeaveOutNonParticipatingAndEmptyGroups)
{
    const auto match = Regex("(a)?(b)").firstMatch("b");
    ASSERT_TRUE(match);
    ASSERT_EQ(match->groups.size(), 1u);
    EXPECT_EQ(match->groups[0].value, "b");
    EXPECT_EQ(match->groups[0].range, (Utf16Range { 0, 1 }));
    EXPECT_EQ(match->checkingResult.numberOfRanges(), 3u);
    EXPECT_EQ(match->checkingResult.rangeAt(1).location, Utf16Range::notFound);

    const auto named = Regex("(?<empty>x*)(?<letter>b)(?<rest>c)").firstMatch("abc");
    ASSERT_TRUE(named);
    ASSERT_EQ(named->groups.size(), 2u);
    EXPECT_EQ(named->groups[0].value, "b"); // the empty group gave up its place
    EXPECT_EQ(named->groups[1].value, "c");
    EXPECT_FALSE(named->group("empty"));
    EXPECT_EQ(named->group("letter"), "b");
    EXPECT_FALSE(named->group("noSuchGroup"));
}

TEST(Regex, RangesAreUtf16AfterSupplementaryCharacters)
{
    const std::string text = "a" + grinning + "b" + grinning + "b";
    const auto matches = Regex("b").matches(text);
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].range, (Utf16Range { 3, 1 }));
    EXPECT_EQ(matches[1].range, (Utf16Range { 6, 1 }));
    EXPECT_EQ(matches[1].value, "b");
    EXPECT_EQ(matches[1].originalString, text);

    const auto emoji = Regex(".").firstMatch(grinning);
    ASSERT_TRUE(emoji);
    EXPECT_EQ(emoji->range, (Utf16Range { 0, 2 })); // one code point, one surrogate pair
    EXPECT_EQ(emoji->value, grinning);
}

TEST(Regex, MatchInsideCharacterIsWidenedToWholeCharacter)
{
    // Ends between a letter and its combining mark.
    const auto endsInside = Regex("e").firstMatch("x" + eAcute + "y");
    ASSERT_TRUE(endsInside);
    EXPECT_EQ(endsInside->range, (Utf16Range { 1, 2 }));
    EXPECT_EQ(endsInside->value, eAcute);

    // Starts on the combining mark.
    const auto startsInside = Regex("\\x{0301}y").firstMatch("x" + eAcute + "y");
    ASSERT_TRUE(startsInside);
    EXPECT_EQ(startsInside->range, (Utf16Range { 1, 3 }));
    EXPECT_EQ(startsInside->value, eAcute + "y");

    // Covers only the first regional indicator of a flag.
    const auto halfFlag = Regex("(\\x{1F1E9})").firstMatch("<" + flag + ">");
    ASSERT_TRUE(halfFlag);
    EXPECT_EQ(halfFlag->range, (Utf16Range { 1, 4 }));
    EXPECT_EQ(halfFlag->value, flag);
    ASSERT_EQ(halfFlag->groups.size(), 1u);
    EXPECT_EQ(halfFlag->groups[0].value, flag);
    EXPECT_EQ(halfFlag->checkingResult.range(), (Utf16Range { 1, 2 })); // the engine's own range is kept

    // Text at a range that splits a surrogate pair.
    EXPECT_EQ(Regex::text(grinning + "a", { 1, 1 }), grinning);
    EXPECT_EQ(Regex::text("ab", { 1, 5 }), std::nullopt);
}

TEST(Regex, SearchRangeIsCountedInUtf16AndCutToTheText)
{
    const std::string text = grinning + "a" + grinning + "a";
    const Regex regex("a");
    const auto inside = regex.matchResults(text, {}, Utf16Range { 2, 3 });
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].range(), (Utf16Range { 2, 1 }));

    const auto pastEnd = regex.firstMatchResult(text, {}, Utf16Range { 4, 100 });
    ASSERT_TRUE(pastEnd);
    EXPECT_EQ(pastEnd->range(), (Utf16Range { 5, 1 }));
    EXPECT_TRUE(regex.matchResults(text, {}, Utf16Range { 40, 3 }).empty());

    EXPECT_EQ(Regex::matchTexts(regex.matchResults(text), text), (std::vector<std::string> { "a", "a" }));
    // ^ anchors at the start of the range unless told otherwise.
    EXPECT_TRUE(Regex("^a").firstMatchResult(text, {}, Utf16Range { 2, 3 }));
    EXPECT_FALSE(Regex("^a").firstMatchResult(text, { .withoutAnchoringBounds = true }, Utf16Range { 2, 3 }));
}

TEST(Regex, ReplacementTemplates)
{
    EXPECT_EQ(zk::replacingFirstMatch("x12y", "(\\d)", "[$1]"), "x[1]2y");
    EXPECT_EQ(zk::replacingAllMatches("x12y", "(\\d)", "[$1]"), "x[1][2]y");
    EXPECT_EQ(zk::replacingAllMatches("abc", "b", "<$0>"), "a<b>c");
    EXPECT_EQ(zk::replacingAllMatches("abc", "b", "\\$0"), "a$0c");
    EXPECT_EQ(zk::replacingAllMatches("abc", "(?<x>b)", "${x}${x}"), "abbc");
    EXPECT_EQ(zk::replacingFirstMatch("abc", "z", "!"), "abc");

    // Non-ASCII around and inside matches.
    const std::string text = grinning + "1" + eAcute + "2" + flag;
    EXPECT_EQ(zk::replacingAllMatches(text, "(\\d)", "[$1]"), grinning + "[1]" + eAcute + "[2]" + flag);
    EXPECT_EQ(zk::replacingAllMatches(text, "\\x{1F1E9}\\x{1F1EA}", "DE"), grinning + "1" + eAcute + "2DE");
    EXPECT_EQ(
        zk::replacingFirstMatch(text, "(\\p{So})", "($1)"), "(" + grinning + ")1" + eAcute + "2" + flag);
}

TEST(Regex, ReplacingFirstMatchKeepsTheRestOfAPartlyMatchedCharacter)
{
    // Only the matched base letter is replaced: its accent stays, as it does when replacing all.
    EXPECT_EQ(zk::replacingFirstMatch(eAcute, "e", "a"), "a\xCC\x81");
    EXPECT_EQ(zk::replacingAllMatches(eAcute, "e", "a"), "a\xCC\x81");
}

TEST(Regex, TemplateNamingMissingGroupLeavesTextUnchanged)
{
    EXPECT_EQ(zk::replacingAllMatches("x12y", "(\\d)", "$9"), "x12y");
    EXPECT_EQ(zk::replacingFirstMatch("x12y", "(\\d)", "${nope}"), "x12y");
}

TEST(Regex, AnchoredReplacementStopsAtTheFirstGap)
{
    EXPECT_EQ(zk::replacingAllMatches("aab a", "a", "x", { .anchored = true }), "xxb a");
    EXPECT_EQ(zk::replacingAllMatches("baa", "a", "x", { .anchored = true }), "baa");
}

TEST(Regex, EscapedPatternMatchesLiterally)
{
    const Regex dot(Regex::escapedPattern("a.b"));
    EXPECT_FALSE(dot.isMatched("axb"));
    const auto match = dot.firstMatch("a.b");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->value, "a.b");

    const std::string specials = "\\*?+[](){}^$|./-# " + grinning;
    const Regex all(Regex::escapedPattern(specials));
    const auto whole = all.firstMatch("<" + specials + ">");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->value, specials);
}

TEST(Regex, InvalidPatterns)
{
    try {
        Regex("(unclosed");
        FAIL() << "an invalid pattern compiled";
    } catch (const Regex::Error& error) {
        EXPECT_EQ(error.code(), U_REGEX_MISMATCHED_PAREN);
        EXPECT_NE(error.localizedDescription().find("(unclosed"), std::string::npos);
    }
    EXPECT_DEATH(
        Regex::literal("[z-a]"), "RegexTest:[0-9]+: Fatal error: .*TestBody.*: Invalid regular expression: ");
    EXPECT_DEATH(zk::replacingAllMatches("text", "(", "x"), "Invalid regular expression: ");
}

TEST(Regex, EqualityFollowsPatternAndOptions)
{
    const Regex a("a+");
    EXPECT_EQ(a, Regex("a+"));
    EXPECT_EQ(std::hash<Regex> {}(a), std::hash<Regex> {}(Regex("a+")));
    EXPECT_NE(a, Regex("a+", UREGEX_CASE_INSENSITIVE));
    EXPECT_NE(a, Regex("a*"));
    EXPECT_EQ(a.pattern(), "a+");
    EXPECT_EQ(
        Regex("x", UREGEX_CASE_INSENSITIVE).options(), static_cast<Regex::Options>(UREGEX_CASE_INSENSITIVE));
    EXPECT_TRUE(Regex("X", UREGEX_CASE_INSENSITIVE).isMatched("x"));

    EXPECT_EQ(a.firstMatch("baa"), a.firstMatch("baa"));
    EXPECT_NE(a.firstMatch("baa"), a.firstMatch("aab"));
    EXPECT_TRUE(zk::isMatched("caa", a));
    EXPECT_FALSE(zk::isMatched("c", a));
}
