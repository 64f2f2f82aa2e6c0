#include "kit/foundation/ZKKit.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/KitRegistries.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/foundation/ZKApp.h"
#include "libraries/defaults/Defaults.h"
#include "platform/ErrorReporter.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/time/Clock.h"
#include "platform/time/Date.h"

#include <QGuiApplication>
#include <QMenu>
#include <atomic>
#include <limits>
#include <mutex>

namespace zk {

bool ModifierFlags::areExactly(std::uint64_t flags, std::uint64_t keys)
{
    const std::uint64_t relevant = (flags & deviceIndependentMask) & ~(capsLock | numericPad | function);
    return relevant == keys;
}

namespace {

constexpr std::uint64_t debugKeys = ModifierFlags::shift | ModifierFlags::control;
constexpr std::uint64_t userDebugWindowKeys = debugKeys | ModifierFlags::option;
constexpr std::uint64_t resetKeys = userDebugWindowKeys | ModifierFlags::command;

std::uint64_t keyboardModifiers()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return 0;
    }
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    std::uint64_t flags = 0;
    if (held.testFlag(Qt::ShiftModifier)) {
        flags |= ModifierFlags::shift;
    }
    if (held.testFlag(Qt::ControlModifier)) {
        flags |= ModifierFlags::control;
    }
    if (held.testFlag(Qt::AltModifier)) {
        flags |= ModifierFlags::option;
    }
    if (held.testFlag(Qt::MetaModifier)) {
        flags |= ModifierFlags::command;
    }
    if (held.testFlag(Qt::KeypadModifier)) {
        flags |= ModifierFlags::numericPad;
    }
    return flags;
}

std::mutex& modifierSourceMutex()
{
    static std::mutex mutex;
    return mutex;
}

ZKKit::ModifierSource& modifierSource()
{
    static ZKKit::ModifierSource source;
    return source;
}

std::atomic<bool>& startupFinished()
{
    static std::atomic<bool> finished { false };
    return finished;
}

} // namespace

ZKKit& ZKKit::shared()
{
    static ZKKit* instance = new ZKKit();
    return *instance;
}

void ZKKit::joinStartUpKeysWrittenBeforeTheStoreOpens()
{
    const std::string suite = platform::UserDefaults::standardSuiteName;
    platform::UserDefaults::setProcessJoin(suite, launchCountKey,
        [](const platform::PropertyList& stored, const platform::PropertyList& written,
            const platform::PropertyList* base) -> std::optional<platform::PropertyList> {
            const auto* before = stored.getIf<std::int64_t>();
            const auto* counted = written.getIf<std::int64_t>();
            // Written over a count another launch has raised since: only the launches counted here
            // on top of that base add to it.
            const auto* from = base ? base->getIf<std::int64_t>() : nullptr;
            if (!before || !counted || *before < 0 || *counted < 0
                || (base && (!from || *from < 0 || *from > *counted))) {
                return std::nullopt;
            }
            const std::int64_t meanwhile = *counted - (from ? *from : 0);
            constexpr auto largest = std::numeric_limits<std::int64_t>::max();
            return platform::PropertyList(*before > largest - meanwhile ? largest : *before + meanwhile);
        });
    platform::UserDefaults::setProcessJoin(suite, ZKApp::firstLaunchDateKey,
        [](const platform::PropertyList& stored, const platform::PropertyList& written,
            const platform::PropertyList*) -> std::optional<platform::PropertyList> {
            const auto before = Defaults::toValue<platform::Date>(stored);
            const auto meanwhile = Defaults::toValue<platform::Date>(written);
            if (!before || !meanwhile) {
                return std::nullopt;
            }
            return platform::PropertyList(*meanwhile < *before ? *meanwhile : *before);
        });
}

ZKKit::ZKKit(Environment environment)
    : m_environment(std::move(environment))
{
    joinStartUpKeysWrittenBeforeTheStoreOpens();
    if (!m_environment.suite) {
        m_environment.suite = platform::UserDefaults::standard();
    }
    platform::UserDefaults& suite = *m_environment.suite;

    const LaunchCount launch = countLaunch(suite);
    m_launchCount = launch.count;
    m_isFirstLaunch = launch.isFirstLaunch;

    suite.registerDefaults({ { "NSApplicationCrashOnExceptions", platform::PropertyList(true) } });

    m_firstLaunchDate = ZKApp::resolveFirstLaunchDate(suite, platform::Clock::shared().now());
    m_launchTime = platform::Clock::shared().now();
    auto crashed = m_environment.crashedLastRun;
    if (!crashed) {
        crashed = [] { return platform::ErrorReporter::shared().lastRunCrashed(); };
    }
    m_hasCrashedLastRun = ZKApp::resolveHasCrashedLastRun(suite, crashed);

    if (ModifierFlags::areExactly(modifiers(), userDebugWindowKeys)) {
        platform::MainQueue::post(this, [this] { openUserDebugWindowAtLaunch(); });
    }
    platform::MainQueue::post(this, [this] { offerResetAtLaunch(); });
    platform::MainQueue::post(this, [this] { finishStartup(); });

    observeDidFinishLaunching();
}

ZKKit::~ZKKit() = default;

ZKKit::LaunchCount ZKKit::countLaunch(platform::UserDefaults& suite)
{
    suite.registerDefaults({ { launchCountKey, platform::PropertyList(std::int64_t { 0 }) } });

    // The registered 0 must not pass for a stored count: only the database says whether an
    // earlier launch was counted.
    const bool stored = suite.storedValue(launchCountKey) != nullptr;
    LaunchCount result;
    if (suite.isWaitingForFile()) {
        result.isFirstLaunch = false;
        platform::log(platform::LogLevel::Info, platform::lcStartup(),
            "The settings database is held by another program: this launch is not taken for a first "
            "launch, and is added to the stored launch count once the database opens.");
    }
    if (stored) {
        result.isFirstLaunch = false;
        auto previous = Defaults::read<std::int64_t>(suite, launchCountKey);
        if (!previous || *previous < 1) {
            platform::log(platform::LogLevel::Warning, platform::lcStartup(),
                "The stored launch count is not a positive integer; counting on from 1.");
            previous = 1;
        }
        result.count = *previous == std::numeric_limits<std::int64_t>::max() ? *previous : *previous + 1;
    }
    Defaults::write<std::int64_t>(suite, launchCountKey, result.count);
    return result;
}

bool ZKKit::isDebugModifierHeld()
{
    // Debug mode also keeps the in-memory debug log, which is what the debug-only diagnostics of
    // the whole application test.
    static const bool held = [] {
        const bool exactlyHeld = ModifierFlags::areExactly(currentModifiers(), debugKeys);
        if (exactlyHeld) {
            platform::DebugLog::setEnabled(true);
        }
        return exactlyHeld;
    }();
    return held;
}

std::uint64_t ZKKit::currentModifiers()
{
    ModifierSource source;
    {
        std::lock_guard guard(modifierSourceMutex());
        source = modifierSource();
    }
    return source ? source() : keyboardModifiers();
}

void ZKKit::setModifierSource(ModifierSource source)
{
    std::lock_guard guard(modifierSourceMutex());
    modifierSource() = std::move(source);
}

std::uint64_t ZKKit::modifiers() const
{
    return m_environment.modifiers ? m_environment.modifiers() : currentModifiers();
}

void ZKKit::offerResetAtLaunch()
{
    if (!ModifierFlags::areExactly(modifiers(), resetKeys)) {
        return;
    }
    AlertDescription description;
    description.title = "Are you sure you want to delete the settings and data for " + ZKApp::name() + "?";
    if (const std::string summary = resetAppDataSummary(); !summary.empty()) {
        description.message = summary;
    }
    description.buttonTitles = { "Delete", "Cancel" };
    // A key held by accident at launch must not delete anything: Return answers Cancel.
    description.defaultButtonIndex = 1;
    description.destructiveButtonIndexes = { 0 };
    AlertPresenter::shared().present(makeAlert(description), [](int response) {
        if (response != 0) {
            return;
        }
        resetAppData();
        relaunchAfterReset(false, false);
    });
}

void ZKKit::finishStartup()
{
    startupFinished() = true;
    LaunchCompletions::runFinishedLaunchingCompletions();
    if (QMenu* menu = ZKApp::mainMenu()) {
        addDebugMenu(*menu);
    }
}

void ZKKit::openUserDebugWindowAtLaunch()
{
    showUserDebugWindow();
}

void ZKKit::observeDidFinishLaunching()
{
    platform::UserDefaults& suite = *m_environment.suite;
    const std::string& key = ZKApp::isShowingSettingsAfterRelaunch().name();
    if (!Defaults::read<bool>(suite, key).value_or(false)) {
        return;
    }
    suite.removeObject(key);
    // The request was the application's, read once: it is kept whatever becomes of this object.
    platform::MainQueue::post(QCoreApplication::instance(), [] { openSettingsWindow(); });
}

bool ZKKit::hasFinishedStartup()
{
    return startupFinished();
}

} // namespace zk
