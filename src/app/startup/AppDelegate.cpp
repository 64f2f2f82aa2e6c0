#include "app/startup/AppDelegate.h"

#include "app/intents/IntentHandlerLookup.h"

namespace kiruvo {

std::unique_ptr<IntentHandler> AppDelegate::handlerForIntent(const Intent& intent) const
{
    return kiruvo::handlerForIntent(intent);
}

} // namespace kiruvo
