#pragma once

#include <string>
#include <vector>

namespace Defaults::detail {

// What went wrong while one value was converted on this thread: the encoding failures (each
// already logged, with its message kept here) and the container elements that were left out.
// The write and the registration open a scope around a conversion and read it afterwards, so
// that a value that could not be encoded is refused instead of being written as a removal, and
// a stored value that only partly converts is backed up before it is overwritten.
struct ConversionIssues {
    std::vector<std::string> encodingFailures;
    int droppedElements = 0;
    // Values that have no exact stored form (an unsigned integer above the signed 64-bit range):
    // the whole value is then refused, never stored changed.
    int refusedValues = 0;
};

// Collects the issues of the conversions made on this thread while it lives; scopes nest, and
// issues reach only the innermost one.
class ConversionIssueScope {
public:
    ConversionIssueScope();
    ~ConversionIssueScope();
    ConversionIssueScope(const ConversionIssueScope&) = delete;
    ConversionIssueScope& operator=(const ConversionIssueScope&) = delete;

    const ConversionIssues& issues() const { return m_issues; }

private:
    ConversionIssues m_issues;
    ConversionIssues* m_previous;
};

// Logs the failure; also recorded in the current scope, if any.
void noteEncodingFailure(const std::string& message);
void noteDroppedElement();
// An encoding failure that refuses the whole value.
void noteRefusedValue(const std::string& message);

} // namespace Defaults::detail
