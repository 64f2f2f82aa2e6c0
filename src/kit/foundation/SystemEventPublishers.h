#pragma once

#include "platform/combine/AnyPublisher.h"
#include "platform/combine/Completion.h"

namespace zk {

// The system's sleep, wake and quit as shared publishers. Each is made once, on first use, and
// the same object is returned afterwards; a subscription starts observing only when it is made,
// and observes the events installed at that moment (platform::SystemEvents::shared(), a fake in
// tests). Values arrive synchronously on the main thread, where the events are emitted, so a
// will-sleep subscriber runs before the system is let go to sleep. None of them ever completes.
//
// Subscribe on the main thread; cancelling is possible from any thread.
struct SystemEvents {
    // Once, whichever road ends the application.
    static const platform::combine::AnyPublisher<platform::combine::Void>& willTerminate();
    static const platform::combine::AnyPublisher<platform::combine::Void>& didWake();
    static const platform::combine::AnyPublisher<platform::combine::Void>& willSleep();
    // True on every wake, false on every sleep, in the order they happen; nothing at subscription.
    static const platform::combine::AnyPublisher<bool>& isAwake();
    // After every stored change of any setting of any suite. Unlike the events above, it arrives
    // on the thread that wrote the setting.
    static const platform::combine::AnyPublisher<platform::combine::Void>& userDefaultsDidChange();
};

} // namespace zk
