#pragma once

#include "app/intents/IntentHandlers.h"
#include "app/intents/Intents.h"

#include <memory>

namespace kiruvo {

// The application's answer to "who handles this request": a new handler for each of the six
// scripting intents, chosen by the intent's class; nothing for any other intent.
std::unique_ptr<IntentHandler> handlerForIntent(const Intent& intent);

} // namespace kiruvo
