#pragma once

#include "platform/desktop/SystemEvents.h"

namespace platform::fake {

// System events that happen when a test says so; installs itself as the shared events for its
// lifetime. Main-thread only.
class FakeSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    explicit FakeSystemEvents(QObject* parent = nullptr);
    ~FakeSystemEvents() override;

    void sleep() { deliverWillSleep(); }
    void wake() { deliverDidWake(); }
    // False when will-terminate had been delivered already.
    bool terminate() { return deliverWillTerminate(); }
    // The display went away: the process is expected to end once the subscribers return.
    void exitAtOnce() { deliverWillExitAtOnce(); }
};

} // namespace platform::fake
