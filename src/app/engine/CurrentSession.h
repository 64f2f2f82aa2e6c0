#pragma once

#include "kit/foundation/core/Duration.h"
#include "platform/time/DateRange.h"

#include <functional>
#include <map>
#include <string>

namespace kiruvo {

// The running session. Its start is a moment of system uptime, so its length keeps growing
// steadily whatever happens to the wall clock or the time zone; wall-clock dates are derived only
// when asked for. Values are read anew from the shared clock at each call.
class CurrentSession {
public:
    // One problem found while deriving the session's dates; never shown to the user.
    struct Report {
        std::string description;
        std::map<std::string, std::string> metadata;
        std::string file;
        int line = 0;
    };
    using ReportHandler = std::function<void(const Report&)>;

    // Where reports go: by default the error reporter and the log. Tests collect them instead;
    // nullptr restores the default.
    static void setReportHandler(ReportHandler handler);

    explicit CurrentSession(zk::Duration start)
        : m_start(start)
    {
    }

    // The system uptime at which the session started.
    zk::Duration start() const { return m_start; }
    // Uptime now minus the start.
    zk::Duration duration() const;
    // From now minus the duration to now plus 0.01 s. A duration of zero or less, or a start that
    // would come after the end, is reported and gives the zero-length range at now plus 0.01 s, so
    // that measuring or intersecting it finds nothing of the session.
    platform::DateRange dateRange() const;
    // "currentSession.start", "currentSession.duration" and "currentSession.dateRange" as text,
    // read at this call; attached to reports about the session.
    std::map<std::string, std::string> debugInfo() const;

    bool operator==(const CurrentSession& other) const { return m_start == other.m_start; }

private:
    std::map<std::string, std::string> debugInfo(
        zk::Duration duration, const platform::DateRange& range) const;

    zk::Duration m_start;
};

} // namespace kiruvo
