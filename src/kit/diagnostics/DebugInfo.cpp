#include "kit/diagnostics/DebugInfo.h"

#include "kit/diagnostics/DebugFormatting.h"
#include "kit/diagnostics/SystemInfo.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/ZKKit.h"
#include "platform/Logger.h"
#include "platform/time/Clock.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zk {

namespace {

std::vector<std::pair<std::string, std::function<std::string()>>>& extraFields()
{
    static std::vector<std::pair<std::string, std::function<std::string()>>> fields;
    return fields;
}

std::string localeText(const DebugInfoFacts& facts)
{
    return facts.localeIdentifier + " (" + facts.languageName.value_or("<Unknown>") + ")";
}

std::string truncatedScale(double scale)
{
    if (!std::isfinite(scale) || std::abs(scale) >= 1e9) {
        return "0";
    }
    return std::to_string(static_cast<std::int64_t>(scale));
}

std::string lines(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string text;
    for (std::size_t index = 0; index < pairs.size(); ++index) {
        text += (index ? "\n" : "") + pairs[index].first + ": " + pairs[index].second;
    }
    return text;
}

} // namespace

DebugInfoFacts DebugInfoFacts::current()
{
    DebugInfoFacts facts;
    facts.appName = ZKApp::name();
    facts.versionWithBuild = ZKApp::versionWithBuild();
    facts.bundleIdentifier = ZKApp::bundleIdentifier();
    facts.runningTime = runningTimeText();
    facts.memoryUsage = appMemoryUsage();
    facts.launchCount = ZKKit::shared().launchCount();
    facts.osDescription = SystemInfo::osDescription();
    facts.hardwareModel = SystemInfo::hardwareModel();
    facts.architecture = SystemInfo::architecture();
    const platform::Locale locale = platform::Locale::current();
    facts.localeIdentifier = locale.identifier();
    facts.languageName = ZKApp::localizedLanguageName(locale);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const auto screens = QGuiApplication::screens();
        facts.screenCount = static_cast<int>(screens.size());
        facts.primaryScreenScale = screens.isEmpty() ? 0 : screens.first()->devicePixelRatio();
    }
    facts.settings = settingsDump(*platform::UserDefaults::standard());
    ZKApp::sharedDictionary().read([&](const auto& storage) {
        for (const auto& [key, value] : storage) {
            facts.customValues.emplace_back(key, errorInfoText(value));
        }
        return 0;
    });
    facts.logLines = platform::DebugLog::entries();
    return facts;
}

std::string debugInfoText(const DebugInfoFacts& facts)
{
    std::string text = "# " + facts.appName + " " + facts.versionWithBuild;
    text += "\n\nBundle Identifier: " + facts.bundleIdentifier;
    text += "\nRunning Time: " + facts.runningTime;
    text += "\nMemory Usage: " + formattedAppMemoryUsage(facts.memoryUsage);
    text += "\nLaunch Count: " + std::to_string(facts.launchCount);
    text += "\n\n# Device\n\nOS: " + facts.osDescription;
    text += "\nModel: " + facts.hardwareModel;
    text += "\nArchitecture: " + facts.architecture;
    text += "\nLocale: " + localeText(facts);
    text += "\nScreens: " + std::to_string(facts.screenCount);
    text += "\nPrimary Screen Scale: "
        + (facts.screenCount > 0 ? truncatedScale(facts.primaryScreenScale) : "0");
    text += "\n\n# Settings\n\n"
        + (facts.settings.empty() ? std::string("<Empty>") : keyValueLines(facts.settings));
    text += "\n\n# Custom\n\n" + lines(facts.customValues);
    text += "\n\n# Logs\n\n```\n";
    if (facts.logLines.empty()) {
        text += "<Empty>";
    } else {
        for (std::size_t index = 0; index < facts.logLines.size(); ++index) {
            // Every entry ends with its own line feed; the join supplies the one between entries.
            std::string_view line = facts.logLines[index];
            if (line.ends_with('\n')) {
                line.remove_suffix(1);
            }
            text += (index ? "\n" : "");
            text += line;
        }
    }
    text += "\n```";
    return text;
}

std::string debugInfoText()
{
    return debugInfoText(DebugInfoFacts::current());
}

std::string debugInfoFields(const DebugInfoFacts& facts)
{
    std::vector<std::pair<std::string, std::string>> fields {
        { "App", facts.appName + " " + facts.versionWithBuild },
        { "Bundle Identifier", facts.bundleIdentifier },
        { "OS", facts.osDescription },
        { "Model", facts.hardwareModel },
        { "Architecture", facts.architecture },
        { "Locale", localeText(facts) },
        { "Screens", std::to_string(facts.screenCount) },
        { "Primary Screen Scale", facts.screenCount > 0 ? truncatedScale(facts.primaryScreenScale) : "0" },
        { "App Memory Usage", formattedAppMemoryUsage(facts.memoryUsage) },
    };
    for (const auto& [name, value] : extraFields()) {
        const std::string text = value ? value() : std::string();
        auto found = std::find_if(
            fields.begin(), fields.end(), [&name = name](const auto& field) { return field.first == name; });
        if (found != fields.end()) {
            found->second = text;
        } else {
            fields.emplace_back(name, text);
        }
    }
    return lines(fields);
}

std::string debugInfoFields()
{
    return debugInfoFields(DebugInfoFacts::current());
}

void registerDebugInfoField(const std::string& name, std::function<std::string()> value)
{
    auto& fields = extraFields();
    auto found
        = std::find_if(fields.begin(), fields.end(), [&](const auto& field) { return field.first == name; });
    if (found != fields.end()) {
        found->second = std::move(value);
    } else {
        fields.emplace_back(name, std::move(value));
    }
}

void clearDebugInfoFields()
{
    extraFields().clear();
}

std::optional<std::int64_t> residentMemoryFromStatus(std::string_view statusText)
{
    const std::size_t start = statusText.find("\nVmRSS:");
    const std::size_t at
        = statusText.starts_with("VmRSS:") ? 0 : (start == std::string_view::npos ? start : start + 1);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = statusText.substr(at + std::string_view("VmRSS:").size());
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    std::int64_t kilobytes = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), kilobytes);
    if (error != std::errc() || kilobytes < 0
        || kilobytes > std::numeric_limits<std::int64_t>::max() / 1024) {
        return std::nullopt;
    }
    const std::string_view unit = rest.substr(static_cast<std::size_t>(end - rest.data()));
    if (!unit.starts_with(" kB")) {
        return std::nullopt;
    }
    return kilobytes * 1024;
}

std::optional<std::int64_t> appMemoryUsage()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return residentMemoryFromStatus(file.readAll().toStdString());
}

std::string formattedAppMemoryUsage(std::optional<std::int64_t> bytes)
{
    if (!bytes) {
        return "<Unavailable>";
    }
    static const platform::Locale posix("en_US_POSIX");
    return formatByteCount(*bytes, ByteCountStyle::memory, posix);
}

std::string formattedAppMemoryUsage()
{
    return formattedAppMemoryUsage(appMemoryUsage());
}

std::string runningTimeText(double seconds)
{
    return narrowDurationText(seconds, platform::Locale::current()).value_or("");
}

std::string runningTimeText()
{
    return runningTimeText(platform::Clock::shared().now().timeIntervalSinceReferenceDate
        - ZKApp::launchTime().timeIntervalSinceReferenceDate);
}

} // namespace zk
