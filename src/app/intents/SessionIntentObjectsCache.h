#pragma once

#include "app/intents/Session_.h"
#include "platform/Uuid.h"
#include "platform/time/DateRange.h"
#include "platform/time/Locale.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kiruvo {

class SessionEngine;

// The intent objects of every stored session, the answer to GetSessions: thousands of texts and
// dates, made once per change of the history however often a script asks. They are made again when
// the history's key changes (a change made here or by another program), when the locale or the
// machine's zone changes, and when the present leaves the day they were made in, in any zone a
// session was recorded in (a session's time-range text names its date unless it lies in today).
// Kept for a minute after the last question only.
//
// Main-thread only.
class SessionIntentObjectsCache {
public:
    static SessionIntentObjectsCache& shared();

    // Every stored session of `engine` as an intent object, in stored order.
    std::shared_ptr<const std::vector<Session_>> objects(const SessionEngine& engine);

    // How long the objects are kept after the last question, in seconds.
    static constexpr double keptFor = 60.0;

private:
    bool holdsFor(const platform::Uuid& historyKey, platform::Date now) const;
    void forgetWhenUnused();

    std::shared_ptr<const std::vector<Session_>> m_objects;
    platform::Uuid m_historyKey;
    std::optional<platform::Locale> m_locale;
    std::uint64_t m_zoneChanges = 0;
    platform::DateRange m_unchangedDuring;
    // The system uptime of the last question.
    double m_askedAt = 0;
    bool m_forgetScheduled = false;
};

} // namespace kiruvo
