#pragma once

#include "app/intents/IntentObject.h"
#include "platform/time/Calendar.h"

#include <optional>
#include <string>

namespace kiruvo {

// One finished session as a script receives it. Build one from a stored session with
// intentObject() (app/SessionIntentObject.h).
class Session_ : public IntentObject {
public:
    Session_(std::optional<std::string> identifier, std::string displayString,
        std::optional<std::string> pronunciationHint = std::nullopt)
        : IntentObject(std::move(identifier), std::move(displayString), std::move(pronunciationHint))
    {
    }
    Session_(std::optional<std::string> identifier, std::string displayString,
        std::optional<std::string> subtitleString, std::nullopt_t /* displayImage */)
        : IntentObject(IntentObject::withSubtitle(
            std::move(identifier), std::move(displayString), std::move(subtitleString)))
    {
    }

    std::optional<platform::DateComponents> startDate;
    std::optional<platform::DateComponents> endDate;
    // Seconds.
    std::optional<double> duration;

    bool operator==(const Session_&) const = default;
};

} // namespace kiruvo
