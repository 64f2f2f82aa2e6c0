#include "app/intents/IntentHandlerLookup.h"

namespace kiruvo {

std::unique_ptr<IntentHandler> handlerForIntent(const Intent& intent)
{
    if (dynamic_cast<const GetEnabledStateIntent*>(&intent)) {
        return std::make_unique<GetEnabledStateIntentHandler>();
    }
    if (dynamic_cast<const SetEnabledStateIntent*>(&intent)) {
        return std::make_unique<SetEnabledStateIntentHandler>();
    }
    if (dynamic_cast<const GetCurrentSessionIntent*>(&intent)) {
        return std::make_unique<GetCurrentSessionIntentHandler>();
    }
    if (dynamic_cast<const NewSessionIntent*>(&intent)) {
        return std::make_unique<NewSessionIntentHandler>();
    }
    if (dynamic_cast<const GetSessionsIntent*>(&intent)) {
        return std::make_unique<GetSessionsIntentHandler>();
    }
    if (dynamic_cast<const GetTotalDurationTodayIntent*>(&intent)) {
        return std::make_unique<GetTotalDurationTodayIntentHandler>();
    }
    return nullptr;
}

} // namespace kiruvo
