#pragma once

#include "app/intents/SetOperation.h"
#include "app/intents/SetState.h"

namespace kiruvo {

// A scripting request. The handler lookup (IntentHandlerLookup.h) tells the six kinds apart by
// their class; none of them is resolved or confirmed before it is handled.
class Intent {
public:
    virtual ~Intent() = default;

protected:
    Intent() = default;
    Intent(const Intent&) = default;
    Intent& operator=(const Intent&) = default;
};

class GetEnabledStateIntent final : public Intent { };

class SetEnabledStateIntent final : public Intent {
public:
    SetEnabledStateIntent() = default;
    SetEnabledStateIntent(SetOperation operation, SetState state)
        : operation(operation)
        , state(state)
    {
    }

    // Raw values outside the enumerations can arrive from scripts; the handler refuses them.
    SetOperation operation = SetOperation::unknown;
    SetState state = SetState::unknown;
};

class GetCurrentSessionIntent final : public Intent { };

class NewSessionIntent final : public Intent { };

class GetSessionsIntent final : public Intent { };

class GetTotalDurationTodayIntent final : public Intent { };

} // namespace kiruvo
