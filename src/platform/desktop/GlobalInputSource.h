#pragma once

#include <QObject>
#include <QString>

namespace platform {

// One input event anywhere on the desktop, also in other applications' windows: what happened
// and, for keys and buttons, which one (the X key code or button number).
struct GlobalInputEvent {
    enum class Type { keyDown, keyUp, buttonDown, buttonUp, pointerMoved, scrollWheel };
    Type type;
    int detail = 0;
};

// Watches the whole desktop's keyboard and pointer. Only announcements of what happened are
// given: events are never taken from, or changed for, the application they are meant for. On a
// desktop that does not let applications see each other's input (Wayland), isAvailable() is false
// and unavailableReason() says why; starting then does nothing.
//
// Main-thread only.
class GlobalInputSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual QString unavailableReason() const = 0;

    // Watching is counted: each start() needs its stop().
    virtual void start() = 0;
    virtual void stop() = 0;

    // The source the application uses. Tests install a fake; when nothing has been installed, the
    // desktop's own source is created on first use (X11's XInput2, or an unavailable one).
    static GlobalInputSource& shared();
    // Not owned; nullptr goes back to the desktop's own source on the next shared().
    static void setShared(GlobalInputSource* source);

signals:
    void inputEvent(const platform::GlobalInputEvent& event);
};

} // namespace platform
