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
// Each step's timer is bound to the context, so the wait ends with it.
void startTimer(double milliseconds, const QObject* context, std::shared_ptr<std::function<void()>> work)
{
    if (milliseconds > maxTimerMilliseconds) {
        const double remaining = milliseconds - maxTimerMilliseconds;
        QTimer::singleShot(static_cast<int>(maxTimerMilliseconds), Qt::PreciseTimer, context,
            [remaining, context, work] { startTimer(remaining, context, work); });
        return;
    }
    const int wait = static_cast<int>(std::llround(milliseconds));
    QTimer::singleShot(wait, Qt::PreciseTimer, context, [work] { (*work)(); });
}

// Whether work for `context` can be queued; logs the caller's mistakes.
bool canQueue(const QObject* context)
{
    auto* app = QCoreApplication::instance();
    if (!app) {
        reportMissingApplication();
        return false;
    }
    // A context already gone (a cleared QPointer, say) drops the work like one destroyed later.
    if (!context) {
        return false;
    }
    // The work would run on the context's thread, and this queue promises the main one.
    Q_ASSERT_X(context->thread() == app->thread(), "MainQueue", "the context must live on the main thread");
    return true;
}

} // namespace

void MainQueue::post(const QObject* context, std::function<void()> work)
{
    if (!canQueue(context)) {
        return;
    }
    // The calls are posted events of the main thread, which it delivers in posting order across all
    // receivers and all posting threads; destroying a receiver removes its pending ones.
    QMetaObject::invokeMethod(const_cast<QObject*>(context), std::move(work), Qt::QueuedConnection);
}

void MainQueue::asyncAfter(double seconds, const QObject* context, std::function<void()> work)
{
    if (std::isinf(seconds) && seconds > 0) {
        return;
    }
    if (std::isnan(seconds) || seconds < 0) {
        seconds = 0;
    }
    if (!canQueue(context)) {
        return;
    }
    const double milliseconds = seconds * 1000.0;
    auto shared = std::make_shared<std::function<void()>>(std::move(work));
    if (isMainThread()) {
        startTimer(milliseconds, context, std::move(shared));
    } else {
        // Timers belong to the main thread, so the wait starts there, and only while the context lives.
        post(context, [milliseconds, context, shared] { startTimer(milliseconds, context, shared); });
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
