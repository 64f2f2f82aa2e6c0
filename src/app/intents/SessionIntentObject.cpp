#include "app/intents/SessionIntentObject.h"

#include "app/engine/SharedFormatters.h"
#include "platform/time/Calendar.h"

#include <string>

namespace kiruvo {

Session_ intentObject(const Session& session)
{
    const platform::Date start = session.dateRange().lowerBound;
    const platform::Date end = session.dateRange().upperBound;

    Session_ object(session.id().uuidString(),
        SharedFormatters::hoursMinutesStandalone(start, end)
            .value_or(std::string(SharedFormatters::missingText)),
        session.dateRangeString(), std::nullopt);

    // A session's dates are finite (Session guarantees it), but ICU's range is narrower than a
    // double's: beyond it the components stay absent rather than wrong.
    const platform::Calendar calendar = platform::Calendar::current();
    object.startDate = calendar.dateComponents(start, session.timeZone());
    object.endDate = calendar.dateComponents(end, session.timeZone());
    object.duration = session.duration();
    return object;
}

} // namespace kiruvo
