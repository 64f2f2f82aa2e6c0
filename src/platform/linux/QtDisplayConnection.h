#pragma once

#include "platform/linux/DisplayLossWatch.h"

#include <string>

struct xcb_connection_t;

namespace platform {

// Qt's own connection to the display, as far as it can be looked at from outside its platform
// plugin: the X connection of the xcb plugin, or the socket the Wayland plugin has to the
// compositor. Tells whether that connection has really failed, so that a message that merely says
// so is not taken at its word.
class QtDisplayConnection {
public:
    // Looks up the connection of the running application's platform plugin. Main thread, with the
    // application object in place.
    QtDisplayConnection();

    // Whether Qt's connection to `display` has failed: the X connection reports an error, or the
    // compositor closed the connection. False for a display Qt is not connected to (another
    // platform plugin). Where the connection cannot be looked at (no X connection to be had, a
    // socket the compositor handed over itself), it counts as failed: the message is then all
    // there is to go by. Any thread.
    bool hasFailed(DisplayLossWatch::Display display) const;

private:
    bool m_onX11 = false;
    xcb_connection_t* m_x11 = nullptr;
    bool m_onWayland = false;
    // The compositor's socket, as the Wayland client library finds it; empty when unknown.
    std::string m_waylandSocket;
};

} // namespace platform
