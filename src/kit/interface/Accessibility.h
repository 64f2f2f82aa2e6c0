#pragma once

namespace zk {

// What screen readers are told of the kit's controls and windows, where Qt's own account falls short
// on Linux: a top-level window is a window (Qt reports a plain widget window as a filler), a
// picker's pop-up is named by its label rather than by the row it shows, a settings window's
// pane button is a page tab, and a table view without headers has its cells alone as children. Installed
// once, before the first window or picker is built; later calls do nothing. Main-thread only.
void installAccessibility();

} // namespace zk
