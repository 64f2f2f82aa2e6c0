#pragma once

#include "app/engine/Session.h"
#include "app/intents/Session_.h"

namespace kiruvo {

// A stored session as a script receives it: its id, its length in hours and minutes ("!!!" when
// that has no text), its time-range text, and the calendar fields of its start and end.
//
// The fields of both dates are those of the wall clock in the zone the session was recorded in,
// the zone they carry, so that they read the same as the session's time-range text wherever the
// machine is now.
Session_ intentObject(const Session& session);

} // namespace kiruvo
