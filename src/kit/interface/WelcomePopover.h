#pragma once

#include "kit/foundation/Timer.h"

#include <QCoro/QCoroTask>

namespace platform {
class StatusItem;
}

namespace zk {

// The identifier of the welcome tip's shown-count.
inline constexpr const char* welcomePopoverIdentifier = "statusBarButtonWelcomePopover";

// Greets the user from the status item once the welcome window has gone: after 0.1 s a tip
// "Hello, I'm <name>" hangs below the item and the item shakes. The tip goes, and this returns,
// at the first of:
// - a click on the tip;
// - a primary (left) click on the item: the tip closes and the item then acts on the click as
//   usual, so that it opens the menu as it always does (a right or middle click is not taken: it
//   does what it always does and leaves the tip up);
// - 5 s without either.
// Returns at once (after the 0.1 s) when the item is gone by then. `source` times the waits.
//
// Main-thread only.
QCoro::Task<void> showWelcomePopover(platform::StatusItem* statusItem);
QCoro::Task<void> showWelcomePopover(platform::StatusItem* statusItem, const TimerSource& source);

} // namespace zk
