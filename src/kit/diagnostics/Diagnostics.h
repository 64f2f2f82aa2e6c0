#pragma once

namespace zk::Diagnostics {

// Puts the debug windows, the reset with its relaunch and the debug fields of the feedback form in
// place of the start-up's fallbacks. Main-thread only; call it before the event loop runs.
void install();

} // namespace zk::Diagnostics
