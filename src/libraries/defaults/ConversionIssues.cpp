#include "libraries/defaults/ConversionIssues.h"

#include "platform/Logger.h"

namespace Defaults::detail {

namespace {
thread_local ConversionIssues* currentIssues = nullptr;
}

ConversionIssueScope::ConversionIssueScope()
    : m_previous(currentIssues)
{
    currentIssues = &m_issues;
}

ConversionIssueScope::~ConversionIssueScope()
{
    currentIssues = m_previous;
}

void noteEncodingFailure(const std::string& message)
{
    platform::log(platform::LogLevel::Warning, platform::lcStore(), "Could not encode a value: " + message);
    if (currentIssues) {
        currentIssues->encodingFailures.push_back(message);
    }
}

void noteRefusedValue(const std::string& message)
{
    noteEncodingFailure(message);
    if (currentIssues) {
        ++currentIssues->refusedValues;
    }
}

void noteDroppedElement()
{
    if (currentIssues) {
        ++currentIssues->droppedElements;
    }
}

} // namespace Defaults::detail
