#pragma once

#include <functional>

namespace platform {

// The application's main queue: work runs on the Qt main thread, one item at a time, in the order
// it was posted, whichever thread posted it. Needs the QCoreApplication to exist; work posted
// without one is dropped with a logged error.
class MainQueue {
public:
    // Runs `work` on the main thread after everything posted before it, never synchronously.
    static void post(std::function<void()> work);

    // Runs `work` on the main thread once `seconds` have passed. Not-a-number and negative delays
    // count as 0; an infinite delay never runs the work. Delays longer than a timer can hold are
    // waited out in several steps.
    static void asyncAfter(double seconds, std::function<void()> work);

    static bool isMainThread();
};

} // namespace platform
