#pragma once

#include "platform/store/UserDefaults.h"

#include <functional>
#include <memory>
#include <string>

namespace zk {

// Persistent once-per-installation flags, kept in the standard settings suite under
// "ZK_App_runOnce__" + identifier. Deleting the settings (the reset at launch) clears them.
//
// Safe from any thread, but two threads asking for the same identifier at the same moment may
// both be told to run; one-time work belongs on the main thread.

// While the suite's file is held by another program since start-up, the flags cannot be read: no
// work runs and no flag is set until it opens (a later launch), so that nothing done once runs again
// and nothing is marked done that saw only the settings of this launch.

// Whether the flags of `suite` cannot be read yet, for the reason above.
bool areRunOnceFlagsUnknown(
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

// The settings key of an identifier's flag.
std::string runOnceKey(const std::string& identifier);

// True the first time it is asked for `identifier`, false ever after (in this and every later
// launch). The flag is set before the answer, so work guarded by it that fails or crashes is not
// tried again: use the form below for work that must complete.
bool runOnce(const std::string& identifier,
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

// Runs `work` unless it has completed once before, and sets the flag only when `work` has returned,
// so a migration that throws (or a process that dies in the middle of one) runs again next time.
// The exception goes on to the caller. True when `work` ran to its end now.
bool runOnce(const std::string& identifier, const std::function<void()>& work,
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

// Whether the flag of `identifier` is set.
bool hasRunOnce(const std::string& identifier,
    const std::shared_ptr<platform::UserDefaults>& suite = platform::UserDefaults::standard());

} // namespace zk
