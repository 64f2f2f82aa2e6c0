#pragma once

#include "platform/combine/Scheduler.h"

namespace platform {

// Delays measured on the clock that keeps counting while the machine is suspended
// (CLOCK_BOOTTIME): a wait of an hour that spans a half-hour suspend ends half an hour after the
// wake, where a Qt timer would wait the full hour again. Each wait is a timerfd watched by the
// main thread's event loop; posts go to the main queue. Callable from any thread; work runs on the
// main thread.
class BootTimeScheduler final : public combine::Scheduler {
public:
    void post(std::function<void()> work) override;
    [[nodiscard]] combine::AnyCancellable schedule(double seconds, std::function<void()> work) override;

    static BootTimeScheduler& shared();
};

} // namespace platform
