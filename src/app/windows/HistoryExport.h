#pragma once

#include "app/engine/Session.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kiruvo {

class SessionController;

// The two forms in which the stored history leaves the application, and the name proposed for the
// file. Sessions are written in the order given (the stored order, newest first), one record each:
// the whole seconds from start to end, and both ends as ISO 8601 internet date-times in the zone
// the session was recorded in ("2024-05-04T09:15:00+02:00").
namespace HistoryExport {

struct ExportRecord {
    std::int64_t duration = 0;
    std::string start;
    std::string end;

    bool operator==(const ExportRecord&) const = default;
};

// One session's record. The duration drops its fraction (1799.9 s is 1799); one beyond what a
// whole number can hold is written as the largest that can, and logged. Nothing (logged) when an
// end has no ISO 8601 text: such a session is left out rather than written half.
std::optional<ExportRecord> exportRecord(const Session& session);

// "Duration","Start","End" and one line per record, every field quoted, lines joined by "\n"
// without one at the end; UTF-8.
QByteArray csvData(const std::vector<Session>& sessions);

// A pretty-printed JSON array of objects with the keys "duration" (an integer), "start" and "end";
// UTF-8.
QByteArray jsonData(const std::vector<Session>& sessions);

// "Kiruvo Sessions " followed by the history's date range as dates in the current time zone,
// "2024-01-05--2024-05-04"; the prefix alone without history. No extension.
std::string exportFilename(const SessionController& controller);

} // namespace HistoryExport

} // namespace kiruvo
