#include "libraries/defaults/Defaults.h"

#include "platform/ErrorReporter.h"
#include "platform/Logger.h"

#include <QDateTime>

#include <fmt/format.h>

namespace Defaults {

namespace {

thread_local bool propagationSuppressed = false;

void report(std::int64_t code, const std::string& message, std::map<std::string, std::string> userInfo)
{
    platform::log(platform::LogLevel::Error, "Defaults", message);
    platform::ErrorEvent event;
    event.domain = "Defaults";
    event.code = code;
    event.message = message;
    event.userInfo = std::move(userInfo);
    event.file = __FILE__;
    event.line = __LINE__;
    platform::ErrorReporter::shared().capture(event);
}

} // namespace

namespace detail {

void reportConversionFailure(const platform::UserDefaults& suite, const std::string& name,
    const std::string& what, const ConversionIssues& issues)
{
    std::string reasons;
    for (const auto& failure : issues.encodingFailures) {
        reasons += reasons.empty() ? "" : "; ";
        reasons += failure;
    }
    report(1, fmt::format("Could not encode the value of \"{}\". {} {}", name, what, reasons),
        { { "key", name }, { "suite", suite.suiteName() }, { "reason", reasons } });
}

void backUpUnreadable(platform::UserDefaults& suite, const std::string& name,
    const platform::PropertyList& object, bool partlyReadable)
{
    const auto now = QDateTime::currentSecsSinceEpoch();
    std::string backup = fmt::format("{}.unreadable-{}", name, now);
    for (int attempt = 2; suite.objectForKey(backup); ++attempt) {
        backup = fmt::format("{}.unreadable-{}-{}", name, now, attempt);
    }
    suite.setObject(object, backup);
    report(2,
        fmt::format("The stored value of \"{}\" {} was copied to \"{}\" before being replaced.", name,
            partlyReadable ? "could be read only in part and" : "could not be read and", backup),
        { { "key", name }, { "suite", suite.suiteName() }, { "backupKey", backup } });
}

} // namespace detail

void reset(const std::vector<std::reference_wrapper<const Keys>>& keys)
{
    for (const Keys& key : keys) {
        key.reset();
    }
}

void reset(const std::vector<std::string>& names, platform::UserDefaults& suite)
{
    for (const auto& name : names) {
        suite.removeObject(name);
    }
}

void removeAll(platform::UserDefaults& suite)
{
    suite.removeAll();
}

bool isPropagationSuppressed()
{
    return propagationSuppressed;
}

PropagationSuppression::PropagationSuppression()
    : m_previous(propagationSuppressed)
{
    propagationSuppressed = true;
}

PropagationSuppression::~PropagationSuppression()
{
    propagationSuppressed = m_previous;
}

} // namespace Defaults
