#pragma once

#include <QObject>

#include <coroutine>
#include <functional>

namespace platform::async {

// The object through which work is posted back to the event loop of a thread: the application
// object on the main thread, a per-thread object elsewhere. A coroutine that suspends remembers
// the context of its thread, so that whoever wakes it (from any thread) resumes it there, on a
// later turn of that thread's event loop and never inside the waker's own call.
class ThreadContext {
public:
    static QObject* current();

    // Runs `work` on `context`'s thread, after everything already queued there.
    static void post(QObject* context, std::function<void()> work);

    static void resume(QObject* context, std::coroutine_handle<> handle)
    {
        post(context, [handle] { handle.resume(); });
    }
};

} // namespace platform::async
