#pragma once

#include <string>
#include <string_view>

namespace zk::TextPatterns {

// The text with every match of "“.*?”" removed: a left curly double quote, the shortest run of
// characters on the same line, and the next right curly double quote.
std::string withoutCurlyQuoted(std::string_view text);

// The text cut at its first "(" or white-space character that has more text after it on its line
// (every match of "(\(|\s).+" removed), then trimmed of white space and line breaks at both ends.
std::string leadingName(std::string_view text);

// The text without Unicode white space and line breaks at both ends.
std::string trimmed(std::string_view text);

} // namespace zk::TextPatterns
