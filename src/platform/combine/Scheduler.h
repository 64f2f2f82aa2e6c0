#pragma once

#include "platform/combine/AnyCancellable.h"

#include <functional>

namespace platform::combine {

// Where delivery and delayed work run. Operators that move values to another thread or wait
// (receiveOn, debounce) and the cancellable sleep take a scheduler, so that tests can drive time
// with a ManualScheduler instead of waiting in real time. Both operations may be called from any
// thread.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Runs `work` on the scheduler's thread after everything posted before it, never synchronously.
    virtual void post(std::function<void()> work) = 0;

    // Runs `work` on the scheduler's thread once `seconds` have passed, unless the returned
    // cancellable is cancelled or destroyed first. Not-a-number and negative delays count as 0;
    // an infinite delay never runs the work.
    [[nodiscard]] virtual AnyCancellable schedule(double seconds, std::function<void()> work) = 0;

    // The Qt main thread, with Qt timers.
    static Scheduler& main();
};

// The Qt main thread: posts go to platform::MainQueue, delays are QTimers owned by the main thread
// that a cancellation stops and deletes.
class MainScheduler final : public Scheduler {
public:
    void post(std::function<void()> work) override;
    [[nodiscard]] AnyCancellable schedule(double seconds, std::function<void()> work) override;
};

} // namespace platform::combine
