#include "kit/foundation/ZKApp.h"

#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/Relaunch.h"
#include "kit/foundation/ZKKit.h"
#include "kit/foundation/core/ReportError.h"
#include "libraries/defaults/Defaults.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/time/Date.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <cstring>
#include <filesystem>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unistd.h>

extern char** environ;

namespace zk {

namespace {

#ifndef KIRUVO_VERSION
#define KIRUVO_VERSION "0.0.0"
#endif

constexpr const char* hasCrashedKey = "ZK_Sentry_hasCrashed";

std::string executablePath()
{
    if (QCoreApplication::instance()) {
        const QString path = QCoreApplication::applicationFilePath();
        if (!path.isEmpty()) {
            return path.toStdString();
        }
    }
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

QPointer<QMenu>& mainMenuSlot()
{
    static QPointer<QMenu> menu;
    return menu;
}

} // namespace

const std::string& ZKApp::bundleIdentifier()
{
    static const std::string value = platform::UserDefaults::standardSuiteName;
    return value;
}

const std::string& ZKApp::name()
{
    static const std::string value = "Kiruvo";
    return value;
}

const std::string& ZKApp::version()
{
    static const std::string value = KIRUVO_VERSION;
    return value;
}

const std::string& ZKApp::build()
{
    // Builds are not numbered apart from their version.
    static const std::string value = KIRUVO_VERSION;
    return value;
}

std::string ZKApp::versionWithBuild(const std::string& version, const std::string& build)
{
    return version + " (" + build + ")";
}

const std::string& ZKApp::versionWithBuild()
{
    static const std::string value = versionWithBuild(version(), build());
    return value;
}

const std::string& ZKApp::url()
{
    static const std::string value = executablePath();
    return value;
}

bool ZKApp::isSandboxed(const char* const* environment)
{
    static constexpr std::string_view name = "APP_SANDBOX_CONTAINER_ID=";
    for (auto entry = environment; entry && *entry; ++entry) {
        if (std::string_view(*entry).starts_with(name)) {
            return true;
        }
    }
    return false;
}

bool ZKApp::isSandboxed()
{
    static const bool value = isSandboxed(environ);
    return value;
}

bool ZKApp::isFirstLaunch()
{
    return ZKKit::shared().isFirstLaunch();
}

platform::Date ZKApp::firstLaunchDate()
{
    return ZKKit::shared().firstLaunchDate();
}

platform::Date ZKApp::launchTime()
{
    return ZKKit::shared().launchTime();
}

bool ZKApp::hasCrashedLastRun()
{
    return ZKKit::shared().hasCrashedLastRun();
}

platform::Date ZKApp::resolveFirstLaunchDate(platform::UserDefaults& suite, platform::Date now)
{
    if (auto stored = Defaults::read<platform::Date>(suite, firstLaunchDateKey)) {
        return *stored;
    }
    Defaults::write<platform::Date>(suite, firstLaunchDateKey, now);
    return now;
}

bool ZKApp::resolveHasCrashedLastRun(
    platform::UserDefaults& suite, const std::function<bool()>& reporterSaysCrashed)
{
    if (Defaults::read<bool>(suite, hasCrashedKey).value_or(false)) {
        return true;
    }
    if (!reporterSaysCrashed || !reporterSaysCrashed()) {
        return false;
    }
    Defaults::write<bool>(suite, hasCrashedKey, true);
    return true;
}

QMenu* ZKApp::mainMenu()
{
    return mainMenuSlot().data();
}

void ZKApp::setMainMenu(QMenu* menu)
{
    mainMenuSlot() = menu;
    // The status menu is built after start-up has finished; it gets the "Debug" menu then.
    if (menu && ZKKit::hasFinishedStartup()) {
        addDebugMenu(*menu);
    }
}

const platform::DurationFormatter& ZKApp::durationFormatter()
{
    static const platform::DurationFormatter formatter(
        platform::Locale::current(), platform::DurationFormatter::UnitsStyle::abbreviated);
    return formatter;
}

AtomicDictionary<std::string, ErrorInfoValue>& ZKApp::sharedDictionary()
{
    return ErrorReporting::customMetadata();
}

const Defaults::Key<bool>& ZKApp::isShowingSettingsAfterRelaunch()
{
    static const Defaults::Key<bool> key("ZK_isShowingSettingsAfterRelaunch", false);
    return key;
}

void ZKApp::quit()
{
    QCoreApplication::quit();
}

void ZKApp::quitOnMainQueue()
{
    platform::MainQueue::post(QCoreApplication::instance(), [] { quit(); });
}

QCoro::Task<bool> ZKApp::relaunch(bool exitImmediately, bool showSettingsAfterRelaunch)
{
    co_return co_await relaunchApp(exitImmediately, showSettingsAfterRelaunch);
}

std::optional<std::string> ZKApp::localizedLanguageName(const platform::Locale& locale)
{
    const icu::Locale icuLocale(locale.identifier().c_str());
    const char* language = icuLocale.getLanguage();
    if (!language || std::strlen(language) == 0) {
        return std::nullopt;
    }
    icu::UnicodeString name;
    icu::Locale(language).getDisplayLanguage(icu::Locale("en_US_POSIX"), name);
    if (name.isEmpty()) {
        return std::nullopt;
    }
    std::string text;
    name.toUTF8String(text);
    return text;
}

} // namespace zk
