#pragma once

namespace platform {

// Xlib ends the process itself when one of its display connections breaks: its I/O error handler,
// whose default calls exit(1), never returns to the caller. For a connection of our own Qt hears
// nothing of that when its platform plugin is not on that X server (a Wayland session's XWayland),
// and the running session would be lost. The handler installed here tells the display's end first,
// as Qt's message does (DisplayLossWatch: the session is stored and the store closed), then hands
// over to the handler it replaced, which ends the process as before; Qt's xcb plugin, which uses
// Xlib too, keeps its own handler behind ours.
//
// Any thread.
class XlibConnectionLoss {
public:
    // Installs the handler, once per process; called before a display connection of ours is
    // opened, after Qt's platform plugin has put its own handler in place.
    static void watch();
};

} // namespace platform
