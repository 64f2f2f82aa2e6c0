#pragma once

#include "platform/store/PropertyList.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Locale.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zk {

// The settings of one suite as the debug screens and the debug information show them: in order,
// each value in its display form.
using SettingsDump = std::vector<std::pair<std::string, platform::PropertyList>>;

// The stored values of the suite (not its registered defaults): keys that begin with "NS",
// "ILMedia" or "MSAppCenter" and the keys "SessionIdHistory", "UserIdHistory" and "pastDevicesKey"
// left out; values in their display form (debugDisplayValue); keys in ascending order by their
// code points, then the kit's keys ("ZK_", "__") moved before the others.
SettingsDump settingsDump(const platform::UserDefaults& suite);
SettingsDump settingsDump(
    const platform::PropertyListDictionary& storedValues, const platform::Locale& locale);

// Data as "<Data: 1 KB>" (file-style byte count in the locale); a real with no fraction as an
// integer; other reals rounded to two places, halves away from zero; everything else unchanged.
platform::PropertyList debugDisplayValue(const platform::PropertyList& value, const platform::Locale& locale);

// "key: value" lines of the pairs, joined by "\n", with no line feed after the last.
std::string keyValueLines(const SettingsDump& dump);

// The suites that the debug screens show: the standard suite first, then the extra ones.
struct DebugSuite {
    std::shared_ptr<platform::UserDefaults> suite;
    // The section title: "Standard" for the standard suite.
    std::string title;
    // The suite's identity in the list: the bundle identifier for the standard suite.
    std::string name;
};
std::vector<DebugSuite> debugSuites();
// Adds a suite after the standard one, titled `title` ("<Unknown>" when empty). Main-thread only.
void addDebugExtraSuite(std::shared_ptr<platform::UserDefaults> suite, std::string title);
void clearDebugExtraSuites();

} // namespace zk
