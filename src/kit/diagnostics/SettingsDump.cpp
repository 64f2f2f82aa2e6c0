#include "kit/diagnostics/SettingsDump.h"

#include "kit/diagnostics/DebugFormatting.h"
#include "kit/foundation/ZKApp.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zk {

namespace {

bool isHidden(const std::string& key)
{
    static const char* const prefixes[] = { "NS", "ILMedia", "MSAppCenter" };
    static const char* const names[] = { "SessionIdHistory", "UserIdHistory", "pastDevicesKey" };
    return std::any_of(std::begin(prefixes), std::end(prefixes), [&](const char* p) {
        return key.starts_with(p);
    }) || std::any_of(std::begin(names), std::end(names), [&](const char* n) { return key == n; });
}

bool isKitKey(const std::string& key)
{
    return key.starts_with("ZK_") || key.starts_with("__");
}

struct ExtraSuite {
    std::shared_ptr<platform::UserDefaults> suite;
    std::string title;
};

std::vector<ExtraSuite>& extraSuites()
{
    static std::vector<ExtraSuite> suites;
    return suites;
}

} // namespace

platform::PropertyList debugDisplayValue(const platform::PropertyList& value, const platform::Locale& locale)
{
    if (const auto* data = value.getIf<platform::Bytes>()) {
        return "<Data: "
            + formatByteCount(static_cast<std::int64_t>(data->size()), ByteCountStyle::file, locale) + ">";
    }
    if (const auto* real = value.getIf<double>()) {
        constexpr double limit = 9007199254740992.0; // 2^53: every integer below is exact
        if (std::isfinite(*real) && std::trunc(*real) == *real && std::abs(*real) <= limit) {
            return static_cast<std::int64_t>(*real);
        }
        if (!std::isfinite(*real)) {
            return *real;
        }
        const double rounded = std::round(*real * 100.0) / 100.0;
        return std::isfinite(rounded) ? rounded : *real;
    }
    return value;
}

SettingsDump settingsDump(
    const platform::PropertyListDictionary& storedValues, const platform::Locale& locale)
{
    SettingsDump dump;
    for (const auto& [key, value] : storedValues) {
        if (!isHidden(key)) {
            dump.emplace_back(key, debugDisplayValue(value, locale));
        }
    }
    // std::map orders by bytes, which for UTF-8 is the order of code points.
    std::stable_partition(dump.begin(), dump.end(), [](const auto& entry) { return isKitKey(entry.first); });
    return dump;
}

SettingsDump settingsDump(const platform::UserDefaults& suite)
{
    platform::PropertyListDictionary stored;
    for (const auto& [key, value] : suite.storedValues()) {
        if (value) {
            stored.emplace(key, *value);
        }
    }
    return settingsDump(stored, platform::Locale::current());
}

std::string keyValueLines(const SettingsDump& dump)
{
    std::string text;
    for (std::size_t index = 0; index < dump.size(); ++index) {
        text += (index ? "\n" : "") + dump[index].first + ": " + debugDescription(dump[index].second);
    }
    return text;
}

std::vector<DebugSuite> debugSuites()
{
    std::vector<DebugSuite> suites { { platform::UserDefaults::standard(), "Standard",
        ZKApp::bundleIdentifier() } };
    for (const auto& extra : extraSuites()) {
        suites.push_back({ extra.suite, extra.title, extra.suite->suiteName() });
    }
    return suites;
}

void addDebugExtraSuite(std::shared_ptr<platform::UserDefaults> suite, std::string title)
{
    extraSuites().push_back({ std::move(suite), title.empty() ? "<Unknown>" : std::move(title) });
}

void clearDebugExtraSuites()
{
    extraSuites().clear();
}

} // namespace zk
