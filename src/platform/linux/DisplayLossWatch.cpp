#include "platform/linux/DisplayLossWatch.h"

#include "platform/LogCategories.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/linux/QtDisplayConnection.h"

#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

namespace {

// What Qt's X11 and Wayland plugins say right before they end the process.
struct LossReport {
    const char* text;
    DisplayLossWatch::Display display;
};
constexpr LossReport lossReports[] = {
    { "The X11 connection broke", DisplayLossWatch::Display::x11 },
    { "The Wayland connection broke", DisplayLossWatch::Display::wayland },
    { "The Wayland connection experienced a fatal error", DisplayLossWatch::Display::wayland },
};

DisplayLossWatch::FailureCheck& failureCheckForTesting()
{
    static DisplayLossWatch::FailureCheck check;
    return check;
}

// Long enough for the running session to be written on a slow disk; a main thread that does not
// come in that time is stuck, and the plugin ends the process as it would have.
constexpr std::chrono::seconds longestWait { 10 };

std::atomic<DisplayLossWatch*> installedWatch { nullptr };
std::atomic<QtMessageHandler> replacedHandler { nullptr };

// Where a plugin thread waits for the main thread. Never destroyed: a plugin thread may still wait
// while the process's exit handlers run.
struct Handover {
    std::mutex mutex;
    std::condition_variable toldCondition;
    bool told = false;
};

Handover& handover()
{
    static auto* instance = new Handover;
    return *instance;
}

} // namespace

struct DisplayLossReport {
    static bool hasFailed(const DisplayLossWatch& watch, DisplayLossWatch::Display display)
    {
        return watch.m_hasFailed(display);
    }
    static void arrived(DisplayLossWatch& watch)
    {
        if (MainQueue::isMainThread()) {
            watch.tell();
            return;
        }
        QMetaObject::invokeMethod(
            &watch, [&watch] { watch.tell(); }, Qt::QueuedConnection);
        Handover& shared = handover();
        std::unique_lock lock(shared.mutex);
        shared.toldCondition.wait_for(lock, longestWait, [&shared] { return shared.told; });
    }
};

namespace {

void handleDisplayMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (const QtMessageHandler replaced = replacedHandler.load()) {
        replaced(type, context, message);
    }
    DisplayLossWatch* watch = installedWatch.load();
    const auto display = watch ? DisplayLossWatch::lostDisplayIn(message) : std::nullopt;
    if (!display) {
        return;
    }
    // Anything in the process may log these words; only a connection that has failed ends it.
    if (!DisplayLossReport::hasFailed(*watch, *display)) {
        log(LogLevel::Warning, lcSystem(),
            "A message said that the display's connection broke, but it works: nothing is done");
        return;
    }
    DisplayLossReport::arrived(*watch);
}

} // namespace

DisplayLossWatch::DisplayLossWatch(QObject* parent)
    : QObject(parent)
{
    DisplayLossWatch* none = nullptr;
    if (!installedWatch.compare_exchange_strong(none, this)) {
        log(LogLevel::Warning, lcSystem(),
            "The display's end is already watched; this watch watches nothing");
        return;
    }
    m_watching = true;
    if (failureCheckForTesting()) {
        m_hasFailed = failureCheckForTesting();
    } else {
        m_hasFailed
            = [connection = QtDisplayConnection()](Display display) { return connection.hasFailed(display); };
    }
    {
        Handover& shared = handover();
        std::lock_guard lock(shared.mutex);
        shared.told = false;
    }
    replacedHandler.store(qInstallMessageHandler(handleDisplayMessage));
}

DisplayLossWatch::~DisplayLossWatch()
{
    if (!m_watching) {
        return;
    }
    qInstallMessageHandler(replacedHandler.exchange(nullptr));
    installedWatch.store(nullptr);
}

std::optional<DisplayLossWatch::Display> DisplayLossWatch::lostDisplayIn(const QString& message)
{
    for (const LossReport& report : lossReports) {
        if (message.startsWith(QLatin1String(report.text))) {
            return report.display;
        }
    }
    return std::nullopt;
}

void DisplayLossWatch::setFailureCheckForTesting(FailureCheck check)
{
    failureCheckForTesting() = std::move(check);
}

void DisplayLossWatch::tellConnectionBroke()
{
    if (DisplayLossWatch* watch = installedWatch.load()) {
        log(LogLevel::Warning, lcSystem(), "An X display connection of ours broke (Xlib said so)");
        DisplayLossReport::arrived(*watch);
    }
}

void DisplayLossWatch::tell()
{
    if (!std::exchange(m_told, true)) {
        Q_EMIT displayLost();
    }
    Handover& shared = handover();
    {
        std::lock_guard lock(shared.mutex);
        shared.told = true;
    }
    shared.toldCondition.notify_all();
}

} // namespace platform
