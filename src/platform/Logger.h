#pragma once

#include "platform/LogCategories.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class LogLevel { Debug, Info, Warning, Error };

// Writes one line to standard error ("kiruvo.idle warning: message") when the category lets the
// level through: info lines, warnings and errors unless Qt's logging rules turn them off, debug
// lines while debug mode is on or the rules turn them on, so that a normal run stays quiet. The
// debug log does not keep these lines: it holds what zk::debugLog writes. Safe from any thread.
void log(LogLevel level, const QLoggingCategory& category, std::string_view message);

// Keeps the message of every line that log() is given while the capture lives, of every level and
// category and whether standard error shows it or not, so that tests can check what was logged. Captures may
// overlap; each keeps what was logged during its own life. Safe from any thread.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages, oldest first.
    std::vector<std::string> messages() const;
    // How many messages contain the text.
    int countContaining(std::string_view text) const;

private:
    friend void log(LogLevel, const QLoggingCategory&, std::string_view);
    void keep(std::string_view message);
};

// Lets a write to a pipe whose reader has gone (the terminal closed, `kiruvo | head`) fail with an
// error instead of ending the process by SIGPIPE: the log goes to standard error, and losing the
// reader must not lose the running session. Call once at start, before any thread is made.
void ignoreBrokenPipes();

// The in-memory debug log shown by the debug window and attached to debug information. It holds
// the newest `maxCount` entries, oldest first; each entry is the message, a tab, the time it was
// written ("2024-03-01 12:00:00 +0000", UTC) and a line feed. Nothing is written to disk.
// Safe from any thread.
class DebugLog {
public:
    static constexpr std::size_t maxCount = 10000;

    static void setEnabled(bool enabled);
    static bool isEnabled();

    // A copy of the entries, oldest first.
    static std::vector<std::string> entries();
    static void clear();

    // Appends one message as an entry, with its time stamp, without writing it to standard error;
    // does nothing while the debug log is disabled.
    static void append(std::string_view message);
};

} // namespace platform
