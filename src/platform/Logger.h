#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class LogLevel { Debug, Info, Warning, Error };

// Writes one line to standard error ("kiruvo[category] level: message"); Debug lines only while
// the debug log is enabled, so that a normal run stays quiet. While the debug log is enabled,
// every message of every level is also kept in it. Safe from any thread.
void log(LogLevel level, std::string_view category, std::string_view message);

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
    // does nothing while the debug log is disabled. log() calls this for every message.
    static void append(std::string_view message);
};

} // namespace platform
