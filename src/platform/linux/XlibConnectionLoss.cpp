#include "platform/linux/XlibConnectionLoss.h"

#include "platform/linux/DisplayLossWatch.h"

#include <X11/Xlib.h>
#include <atomic>

namespace platform {

namespace {

std::atomic<XIOErrorHandler> replacedHandler { nullptr };

int connectionBroke(Display* display)
{
    DisplayLossWatch::tellConnectionBroke();
    // Xlib's default handler ends the process; should the one before ours return, Xlib ends it.
    const XIOErrorHandler replaced = replacedHandler.load();
    return replaced ? replaced(display) : 0;
}

} // namespace

void XlibConnectionLoss::watch()
{
    static const bool installed = [] {
        replacedHandler.store(XSetIOErrorHandler(connectionBroke));
        return true;
    }();
    static_cast<void>(installed);
}

} // namespace platform
