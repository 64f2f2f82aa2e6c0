#pragma once

#include "app/engine/Session.h"
#include "app/intents/Session_.h"
#include "platform/time/Calendar.h"
#include "platform/time/DateRange.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kiruvo {

// A stored session as a script receives it: its id, its length in hours and minutes ("!!!" when
// that has no text), its time-range text, and the calendar fields of its start and end.
//
// The fields of both dates are those of the wall clock in the zone the session was recorded in,
// the zone they carry, so that they read the same as the session's time-range text wherever the
// machine is now.
Session_ intentObject(const Session& session);

// The same for many sessions at one moment: the calendars and the present moment are looked up
// once rather than once per session. Main-thread only, as the handlers are.
class SessionIntentObjects {
public:
    SessionIntentObjects();

    Session_ make(const Session& session);
    std::vector<Session_> make(const std::vector<Session>& sessions);

    // The span around the moment of making in which the present lies in the same day in every zone
    // met so far, the sessions' time-range texts telling today from other days by it: objects made
    // at any moment of it read the same. Nothing when a day cannot be told.
    std::optional<platform::DateRange> unchangedDuring() const;

private:
    // The current calendar set to `zone`, made at its first use.
    const platform::Calendar& calendarIn(const platform::TimeZone& zone);

    platform::Calendar m_calendar;
    platform::Date m_now;
    std::map<std::string, platform::Calendar> m_zoned;
};

} // namespace kiruvo
