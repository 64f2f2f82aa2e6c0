#pragma once

#include "platform/combine/Scheduler.h"

#include <QCoro/QCoroTask>

#include <stop_token>

namespace platform::async {

// Suspends the calling coroutine for `seconds` (not-a-number and negative count as 0, infinity
// waits until cancelled) and resumes it on the scheduler's thread: the main thread by default.
// When `token` is cancelled first, the sleep ends early; that is no error. Returns true when the
// whole time has passed, false when cancelled.
QCoro::Task<bool> sleepFor(
    double seconds, std::stop_token token = {}, combine::Scheduler& scheduler = combine::Scheduler::main());

// The same on the clock that keeps counting while the machine sleeps: a wait that spans a suspend
// ends when its time has passed in the world, not in the machine's waking time.
QCoro::Task<bool> sleepOnContinuousClock(double seconds, std::stop_token token = {});

} // namespace platform::async
