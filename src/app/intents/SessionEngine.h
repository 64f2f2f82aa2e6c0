#pragma once

#include "app/engine/CurrentSession.h"
#include "app/engine/Session.h"
#include "kit/foundation/core/Duration.h"
#include "platform/Uuid.h"

#include <optional>
#include <vector>

namespace platform {
struct Date;
}

namespace kiruvo {

// What the scripting handlers ask of session tracking. The application's engine is the shared
// SessionController (reached through SessionControllerEngine); tests put their own in its place.
// Main-thread only, as the engine is.
class SessionEngine {
public:
    virtual ~SessionEngine() = default;

    virtual bool isEnabled() const = 0;
    // Every assignment runs the engine's change effects, also one that keeps the value.
    virtual void setEnabled(bool enabled) = 0;
    virtual std::optional<CurrentSession> currentSession() const = 0;
    // Stops the running session (storing it when long enough) and starts a new one, enabling
    // tracking when it is off.
    virtual void newSession() = 0;
    // The stored history in stored order.
    virtual std::vector<Session> allSessions() const = 0;
    // Renewed with every change of the history, here or by another program (whose commits are
    // looked for first): while it stays the same, allSessions() answers the same list.
    virtual platform::Uuid historyKey() const = 0;
    // Whether the history is in the store; false while its last write has failed (the session
    // ended is then kept in memory only, and written again later).
    virtual bool isHistoryStored() const = 0;
    // Tracked time of the calendar day of `date`, the running session included; nothing when zero.
    virtual std::optional<zk::Duration> totalDurationForDayAt(platform::Date date) const = 0;

    // The engine the handlers use: the one set for testing, else the application's.
    static SessionEngine& shared();
    // nullptr restores the application's engine.
    static void setSharedForTesting(SessionEngine* engine);
};

} // namespace kiruvo
