#include "platform/combine/Scheduler.h"

#include "platform/MainQueue.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <memory>

namespace platform::combine {

namespace {

struct TimerState {
    std::atomic<bool> cancelled { false };
    // The rest is touched on the main thread only.
    std::function<void()> work;
    QTimer* timer = nullptr;
    std::chrono::steady_clock::time_point deadline;

    void release()
    {
        work = nullptr;
        if (timer) {
            timer->stop();
            // The timer may be emitting the very signal that led here.
            timer->deleteLater();
            timer = nullptr;
        }
    }
};

// Starts (or restarts, for waits longer than one Qt timer holds) the timer towards the deadline.
void arm(const std::shared_ptr<TimerState>& state)
{
    using namespace std::chrono;
    if (state->cancelled.load()) {
        state->release();
        return;
    }
    // Rounded up: a Qt timer counts whole milliseconds, and one that fired short of the deadline
    // would be started again for 0 ms, spinning the event loop until the deadline came.
    const auto remaining = ceil<milliseconds>(state->deadline - steady_clock::now()).count();
    const auto wait = static_cast<int>(std::clamp<long long>(remaining, 0, INT_MAX));
    if (!state->timer) {
        state->timer = new QTimer;
        state->timer->setSingleShot(true);
        state->timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(state->timer, &QTimer::timeout, state->timer, [weak = std::weak_ptr(state)] {
            auto state = weak.lock();
            if (!state) {
                return;
            }
            if (!state->cancelled.load() && std::chrono::steady_clock::now() < state->deadline) {
                arm(state);
                return;
            }
            auto work = std::move(state->work);
            state->release();
            if (work && !state->cancelled.load()) {
                work();
            }
        });
    }
    state->timer->start(wait);
}

} // namespace

Scheduler& Scheduler::main()
{
    static MainScheduler scheduler;
    return scheduler;
}

void MainScheduler::post(std::function<void()> work)
{
    // A scheduler's work belongs to the subscription that asked for it, which ends through its
    // cancellable, not through an object's lifetime.
    MainQueue::post(QCoreApplication::instance(), std::move(work));
}

AnyCancellable MainScheduler::schedule(double seconds, std::function<void()> work)
{
    if (std::isinf(seconds) && seconds > 0) {
        return AnyCancellable();
    }
    if (std::isnan(seconds) || seconds < 0) {
        seconds = 0;
    }
    auto state = std::make_shared<TimerState>();
    state->work = std::move(work);
    // Capped far beyond any wait the application asks for, so that the time point cannot overflow.
    const double capped = std::min(seconds, 1.0e9);
    state->deadline = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(capped));
    auto start = [state] { arm(state); };
    if (MainQueue::isMainThread()) {
        start();
    } else {
        // Bound to the application: a cancelled timer still has its QTimer released.
        MainQueue::post(QCoreApplication::instance(), std::move(start));
    }
    return AnyCancellable([state] {
        state->cancelled.store(true);
        if (MainQueue::isMainThread()) {
            state->release();
        } else {
            MainQueue::post(QCoreApplication::instance(), [state] { state->release(); });
        }
    });
}

} // namespace platform::combine
