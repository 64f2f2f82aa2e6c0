// One stored history entry: a session read from it is one the history can hold, and its own text
// reads back as the same session.
#include "FuzzTarget.h"

#include "app/engine/SettingsKeys.h"
#include "platform/time/TimeZone.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto session = kiruvo::sessionFromStoredText(fuzz::text(data, size));
    if (!session) {
        return 0;
    }
    const platform::DateRange range = session->dateRange();
    const double start = range.lowerBound.timeIntervalSinceReferenceDate;
    const double end = range.upperBound.timeIntervalSinceReferenceDate;
    fuzz::require(std::isfinite(start) && std::isfinite(end), "a session's dates are finite");
    fuzz::require(start <= end, "a session ends after it starts");
    fuzz::require(end - start <= 121.0 * 86400.0, "a session is no longer than the history is kept");
    const auto reread = kiruvo::sessionFromStoredText(session->jsonText());
    fuzz::require(reread.has_value(), "a session's own text reads back");
    fuzz::require(*reread == *session, "a session survives its stored text");
    return 0;
}
