#pragma once

#include "kit/foundation/core/ErrorValues.h"
#include "platform/async/TaskHandle.h"

#include <functional>

namespace zk {

// Runs `body` as a task on the main thread and hands an error it throws to `setError`, so that a
// window shows it in its error alert; a cancellation is never handed on (the user cancelled, there
// is nothing to tell). The task starts on the next turn of the event loop, which has one priority
// for all its work.
//
// Main-thread only.
platform::async::TaskHandle errorCaptureTask(
    platform::async::TaskHandle::Body body, std::function<void(ErrorPtr error)> setError);

} // namespace zk
