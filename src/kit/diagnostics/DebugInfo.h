#pragma once

#include "kit/diagnostics/SettingsDump.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zk {

// Everything the debug information describes, read at one moment. The texts below are pure
// functions of it; current() reads the running application and its machine.
struct DebugInfoFacts {
    std::string appName;
    std::string versionWithBuild;
    std::string bundleIdentifier;
    // Already formatted (runningTimeText).
    std::string runningTime;
    // Resident memory in bytes.
    std::optional<std::int64_t> memoryUsage;
    std::int64_t launchCount = 0;
    std::string osDescription;
    std::string hardwareModel;
    std::string architecture;
    std::string localeIdentifier;
    std::optional<std::string> languageName;
    int screenCount = 0;
    // The first screen's scale factor; 0 without screens.
    double primaryScreenScale = 0;
    // The standard suite's dump.
    SettingsDump settings;
    // The kit's custom debug values, in their own order.
    std::vector<std::pair<std::string, std::string>> customValues;
    // The debug log's entries, oldest first, copied under its lock.
    std::vector<std::string> logLines;

    // Main-thread only (it asks the screens).
    static DebugInfoFacts current();
};

// The full text for support: a title line, the application's facts, then the sections "Device",
// "Settings", "Custom" and "Logs"; it never ends with a line feed.
std::string debugInfoText(const DebugInfoFacts& facts);
std::string debugInfoText();

// The shorter "key: value" lines that the feedback form receives as its "metadata": "App",
// "Bundle Identifier", "OS", "Model", "Architecture", "Locale", "Screens", "Primary Screen Scale",
// "App Memory Usage", then the registered extra fields.
std::string debugInfoFields(const DebugInfoFacts& facts);
std::string debugInfoFields();

// Adds a field after the fixed ones; a name already present has its value replaced in place.
// Main-thread only.
void registerDebugInfoField(const std::string& name, std::function<std::string()> value);
void clearDebugInfoFields();

// The resident memory of this process in bytes (VmRSS of /proc/self/status), or nothing.
std::optional<std::int64_t> appMemoryUsage();
std::optional<std::int64_t> residentMemoryFromStatus(std::string_view statusText);
// The memory in the memory style ("52.3 MB"), or "<Unavailable>".
std::string formattedAppMemoryUsage(std::optional<std::int64_t> bytes);
std::string formattedAppMemoryUsage();
// The time since launch in the narrow style ("1h 5m 12s"); empty when it cannot be written.
std::string runningTimeText(double seconds);
std::string runningTimeText();

} // namespace zk
