#include "platform/MainQueue.h"

#include "platform/Logger.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <climits>
#include <cmath>
#include <memory>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

// The longest single wait a Qt timer accepts, in milliseconds.
constexpr double maxTimerMilliseconds = static_cast<double>(INT_MAX);

void reportMissingApplication()
{
    static std::atomic<bool> reported { false };
    if (!reported.exchange(true)) {
        log(LogLevel::Error, lcCore(), "No application object exists; work for the main queue was dropped.");
    }
}

// Runs on the main thread: waits `milliseconds` (possibly more than one timer can hold), then runs.
void startTimer(double milliseconds, std::shared_ptr<std::function<void()>> work)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        reportMissingApplication();
        return;
    }
    if (milliseconds > maxTimerMilliseconds) {
        const double remaining = milliseconds - maxTimerMilliseconds;
        QTimer::singleShot(static_cast<int>(maxTimerMilliseconds), Qt::PreciseTimer, app,
            [remaining, work] { startTimer(remaining, work); });
        return;
    }
    const int wait = static_cast<int>(std::llround(milliseconds));
    QTimer::singleShot(wait, Qt::PreciseTimer, app, [work] { (*work)(); });
}

} // namespace

void MainQueue::post(std::function<void()> work)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        reportMissingApplication();
        return;
    }
    // Queued calls to one receiver are delivered in posting order, across all posting threads.
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void MainQueue::asyncAfter(double seconds, std::function<void()> work)
{
    if (std::isinf(seconds) && seconds > 0) {
        return;
    }
    if (std::isnan(seconds) || seconds < 0) {
        seconds = 0;
    }
    const double milliseconds = seconds * 1000.0;
    auto shared = std::make_shared<std::function<void()>>(std::move(work));
    if (isMainThread()) {
        startTimer(milliseconds, std::move(shared));
    } else {
        // Timers belong to the main thread, so the wait starts there.
        post([milliseconds, shared] { startTimer(milliseconds, shared); });
    }
}

bool MainQueue::isMainThread()
{
    if (auto* app = QCoreApplication::instance()) {
        return QThread::currentThread() == app->thread();
    }
    // Before the application exists, the main thread is the process's first thread.
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

} // namespace platform
