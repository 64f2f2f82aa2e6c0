#include "platform/linux/XInput2GlobalInputSource.h"

#include "platform/Logger.h"
#include "platform/linux/XlibConnectionLoss.h"

#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <cstring>

namespace platform {

XInput2GlobalInputSource::XInput2GlobalInputSource(const std::string& display)
{
    XlibConnectionLoss::watch();
    Display* connection = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!connection) {
        m_reason = QStringLiteral("Input in other applications cannot be watched: there is no X display.");
        return;
    }
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!XQueryExtension(connection, "XInputExtension", &m_opcode, &event, &error)
        || XIQueryVersion(connection, &major, &minor) != Success) {
        XCloseDisplay(connection);
        m_reason
            = QStringLiteral("Input in other applications cannot be watched: the X server lacks XInput 2.");
        return;
    }
    m_display = connection;
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(m_display), QSocketNotifier::Read);
    m_notifier->setEnabled(false);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
}

XInput2GlobalInputSource::~XInput2GlobalInputSource()
{
    m_notifier.reset();
    if (m_display) {
        XCloseDisplay(m_display);
    }
}

void XInput2GlobalInputSource::start()
{
    if (!m_display) {
        return;
    }
    if (m_watchers++ == 0) {
        select(true);
        m_notifier->setEnabled(true);
    }
}

void XInput2GlobalInputSource::stop()
{
    if (!m_display || m_watchers == 0) {
        return;
    }
    if (--m_watchers == 0) {
        m_notifier->setEnabled(false);
        select(false);
    }
}

void XInput2GlobalInputSource::select(bool watching)
{
    unsigned char bits[XIMaskLen(XI_LASTEVENT)];
    std::memset(bits, 0, sizeof bits);
    if (watching) {
        for (const int type :
            { XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, XI_RawButtonRelease, XI_RawMotion }) {
            XISetMask(bits, type);
        }
    }
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISelectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);
    XFlush(m_display);
    if (!watching) {
        // Whatever arrived meanwhile is no longer wanted.
        XSync(m_display, True);
    }
}

void XInput2GlobalInputSource::readEvents()
{
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != m_opcode
            || !XGetEventData(m_display, cookie)) {
            continue;
        }
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        GlobalInputEvent input { GlobalInputEvent::Type::pointerMoved, raw->detail };
        bool known = true;
        switch (cookie->evtype) {
        case XI_RawKeyPress:
            input.type = GlobalInputEvent::Type::keyDown;
            break;
        case XI_RawKeyRelease:
            input.type = GlobalInputEvent::Type::keyUp;
            break;
        case XI_RawButtonPress:
            // Buttons 4 to 7 are the wheel's notches, up, down, left and right.
            input.type = raw->detail >= 4 && raw->detail <= 7 ? GlobalInputEvent::Type::scrollWheel
                                                              : GlobalInputEvent::Type::buttonDown;
            break;
        case XI_RawButtonRelease:
            if (raw->detail >= 4 && raw->detail <= 7) {
                known = false;
            }
            input.type = GlobalInputEvent::Type::buttonUp;
            break;
        case XI_RawMotion:
            input.type = GlobalInputEvent::Type::pointerMoved;
            input.detail = 0;
            break;
        default:
            known = false;
        }
        XFreeEventData(m_display, cookie);
        if (known && m_watchers > 0) {
            emit inputEvent(input);
        }
    }
}

} // namespace platform
