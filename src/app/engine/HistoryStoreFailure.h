#pragma once

#include "platform/time/Date.h"

#include <optional>
#include <string>

namespace kiruvo {

// Tells the user about a history that could not be stored, once per failure: the log at the first
// failed write, and an alert when writes have kept failing for a minute (a locked database or a
// full disk that does not clear by itself). A write that succeeds again ends the failure and says
// so in the log.
//
// Main-thread only.
class HistoryStoreFailure {
public:
    static constexpr double alertDelay = 60.0;

    // A write of the history failed at `now`.
    void writeFailed(platform::Date now);
    // A write of the history succeeded.
    void writeSucceeded();

    bool isFailing() const { return m_failingSince.has_value(); }

private:
    std::optional<platform::Date> m_failingSince;
    bool m_alerted = false;
};

} // namespace kiruvo
