#pragma once

#include "app/intents/IntentHandlers.h"
#include "app/intents/Intents.h"

#include <memory>

namespace kiruvo {

// The application's delegate: its one duty is to hand out the handler of a scripting request.
// It has no launch, reopen or quit handling; the session engine follows the end of the application
// through the system events itself.
class AppDelegate {
public:
    AppDelegate() = default;

    // A new handler for one of the six scripting intents, chosen by the intent's class; nothing
    // for any other intent.
    std::unique_ptr<IntentHandler> handlerForIntent(const Intent& intent) const;
};

} // namespace kiruvo
