#pragma once

#include <functional>

class QObject;

namespace platform {

// The application's main queue: work runs on the Qt main thread, one item at a time, in the order
// it was posted, whichever thread posted it. Needs the QCoreApplication to exist; work posted
// without one is dropped with a logged error.
//
// As with QTimer::singleShot, every piece of work names a context object living on the main thread:
// work whose context is destroyed before it runs (or that names no context) is dropped. Work that
// belongs to no object of its own names the application object. As with any call on an object, the
// context must exist while post() or asyncAfter() runs: another thread whose object may be going
// away on the main thread meanwhile names the application and checks a QPointer, taken on the main
// thread, when the work runs.
class MainQueue {
public:
    // Runs `work` on the main thread after everything posted before it, never synchronously.
    static void post(const QObject* context, std::function<void()> work);

    // Runs `work` on the main thread once `seconds` have passed. Not-a-number and negative delays
    // count as 0; an infinite delay never runs the work. Delays longer than a timer can hold are
    // waited out in several steps.
    static void asyncAfter(double seconds, const QObject* context, std::function<void()> work);

    static bool isMainThread();
};

} // namespace platform
