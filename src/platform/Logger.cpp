#include "platform/Logger.h"

#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <QLoggingCategory>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace platform {

namespace {

std::atomic<bool> debugLogEnabled { false };

struct DebugLogStorage {
    std::mutex mutex;
    std::deque<std::string> entries;
};

DebugLogStorage& storage()
{
    static DebugLogStorage instance;
    return instance;
}

// The captures alive now, and what each has kept.
struct Captures {
    std::mutex mutex;
    std::vector<LogCapture*> active;
    std::map<const LogCapture*, std::vector<std::string>> messages;
};

Captures& captures()
{
    static Captures instance;
    return instance;
}

std::mutex& standardErrorMutex()
{
    static std::mutex mutex;
    return mutex;
}

const char* levelName(LogLevel level)
{
    switch (level) {
    case LogLevel::Debug:
        return "debug";
    case LogLevel::Info:
        return "info";
    case LogLevel::Warning:
        return "warning";
    case LogLevel::Error:
        return "error";
    }
    return "info";
}

// The UTC description of the current time, as in "2024-03-01 12:00:00 +0000".
std::string timestamp()
{
    double unixSeconds = Clock::shared().now().unixTime();
    if (!std::isfinite(unixSeconds)) {
        unixSeconds = 0;
    }
    std::time_t seconds = static_cast<std::time_t>(std::floor(unixSeconds));
    std::tm parts {};
    gmtime_r(&seconds, &parts);
    char buffer[64];
    std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &parts);
    return std::string(buffer, length);
}

bool shows(LogLevel level, const QLoggingCategory& category)
{
    switch (level) {
    case LogLevel::Debug:
        return category.isDebugEnabled() || DebugLog::isEnabled();
    case LogLevel::Info:
        return category.isInfoEnabled();
    case LogLevel::Warning:
        return category.isWarningEnabled();
    case LogLevel::Error:
        return category.isCriticalEnabled();
    }
    return true;
}

} // namespace

void log(LogLevel level, const QLoggingCategory& category, std::string_view message)
{
    if (shows(level, category)) {
        std::string line = fmt::format("{} {}: {}\n", category.categoryName(), levelName(level), message);
        std::lock_guard lock(standardErrorMutex());
        // A closed stream fails here quietly: there is nowhere left to say so.
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
        std::clearerr(stderr);
    }
    auto& all = captures();
    std::lock_guard lock(all.mutex);
    for (LogCapture* capture : all.active) {
        capture->keep(message);
    }
}

LogCapture::LogCapture()
{
    auto& all = captures();
    std::lock_guard lock(all.mutex);
    all.active.push_back(this);
    all.messages[this];
}

LogCapture::~LogCapture()
{
    auto& all = captures();
    std::lock_guard lock(all.mutex);
    all.active.erase(std::find(all.active.begin(), all.active.end(), this));
    all.messages.erase(this);
}

void LogCapture::keep(std::string_view message)
{
    // Called by log() with the captures' lock held.
    captures().messages[this].emplace_back(message);
}

std::vector<std::string> LogCapture::messages() const
{
    auto& all = captures();
    std::lock_guard lock(all.mutex);
    return all.messages[this];
}

int LogCapture::countContaining(std::string_view text) const
{
    const auto kept = messages();
    return static_cast<int>(std::count_if(kept.begin(), kept.end(),
        [text](const std::string& message) { return message.find(text) != std::string::npos; }));
}

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

void DebugLog::setEnabled(bool enabled)
{
    debugLogEnabled.store(enabled, std::memory_order_release);
}

bool DebugLog::isEnabled()
{
    return debugLogEnabled.load(std::memory_order_acquire);
}

std::vector<std::string> DebugLog::entries()
{
    auto& log = storage();
    std::lock_guard lock(log.mutex);
    return { log.entries.begin(), log.entries.end() };
}

void DebugLog::clear()
{
    auto& log = storage();
    std::lock_guard lock(log.mutex);
    log.entries.clear();
}

void DebugLog::append(std::string_view message)
{
    if (!isEnabled()) {
        return;
    }
    std::string entry;
    entry.reserve(message.size() + 32);
    entry.append(message);
    entry += '\t';
    entry += timestamp();
    entry += '\n';

    auto& log = storage();
    std::lock_guard lock(log.mutex);
    while (log.entries.size() >= maxCount) {
        log.entries.pop_front();
    }
    log.entries.push_back(std::move(entry));
}

} // namespace platform
