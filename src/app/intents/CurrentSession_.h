#pragma once

#include "app/intents/IntentObject.h"
#include "platform/time/Calendar.h"

#include <optional>
#include <string>

namespace kiruvo {

// The running session as a script receives it.
class CurrentSession_ : public IntentObject {
public:
    CurrentSession_(std::optional<std::string> identifier, std::string displayString,
        std::optional<std::string> pronunciationHint = std::nullopt)
        : IntentObject(std::move(identifier), std::move(displayString), std::move(pronunciationHint))
    {
    }
    CurrentSession_(std::optional<std::string> identifier, std::string displayString,
        std::optional<std::string> subtitleString, std::nullopt_t /* displayImage */)
        : IntentObject(IntentObject::withSubtitle(
            std::move(identifier), std::move(displayString), std::move(subtitleString)))
    {
    }

    std::optional<platform::DateComponents> startDate;
    // Seconds.
    std::optional<double> duration;

    bool operator==(const CurrentSession_&) const = default;
};

} // namespace kiruvo
