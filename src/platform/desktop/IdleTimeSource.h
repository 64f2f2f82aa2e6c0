#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The input events whose absence makes the user idle. The values are the event type numbers that
// the session engine's diagnostics name.
enum class InputEventType : int {
    leftMouseDown = 1,
    rightMouseDown = 3,
    mouseMoved = 5,
    keyDown = 10,
    scrollWheel = 22,
};

// The five types, in the order in which the session engine asks for them.
inline constexpr std::array<InputEventType, 5> userInputEventTypes {
    InputEventType::leftMouseDown,
    InputEventType::rightMouseDown,
    InputEventType::mouseMoved,
    InputEventType::keyDown,
    InputEventType::scrollWheel,
};

const char* toString(InputEventType type);

// Seconds since the user's last input, per event type. The Linux backends know only "any input",
// so they answer the same figure for every type and say so (distinguishesEventTypes()), so that a
// caller asks them once rather than once per type; the fake answers per type unless told not to.
//
// Answers are always finite and never negative. Asked once a second on the main thread, so no
// implementation blocks. Main-thread only unless an implementation says otherwise.
class IdleTimeSource {
public:
    virtual ~IdleTimeSource() = default;

    virtual double secondsSinceLastEvent(InputEventType type) = 0;
    // Whether secondsSinceLastEvent() may answer differently for different types. When it does
    // not, the answer for one type is the answer for all of them.
    virtual bool distinguishesEventTypes() const = 0;
    // Seconds since any input at all, keyboard, pointer or other device (for diagnostics).
    virtual double secondsSinceLastInput() = 0;
    // What answers, for logs and debug information ("X11 MIT-SCREEN-SAVER", ...).
    virtual std::string name() const = 0;
    // The idle time from which on the user counts as away. Sources that are told of idleness only
    // once it reaches a timeout (ext-idle-notify-v1) set their timeout to it; the others measure
    // any idle time and ignore it.
    virtual void setIdleThreshold(double seconds) { static_cast<void>(seconds); }

    enum class Backend { x11, mutter, extIdleNotify, screenSaver, unavailable };

    // The backends worth trying, best first. In a Wayland session the X server (Xwayland) sees
    // only the input that goes to X clients, so the compositor's own sources come first: GNOME
    // Mutter's IdleMonitor, then ext-idle-notify-v1 (KWin, sway, Hyprland...), then
    // org.freedesktop.ScreenSaver.
    static std::vector<Backend> candidateOrder(bool waylandSession);
    static bool isWaylandSession();

    // The first backend of candidateOrder() that answers: the X server when it has the
    // MIT-SCREEN-SAVER extension, GNOME Mutter's IdleMonitor, the Wayland compositor's
    // ext_idle_notifier_v1, org.freedesktop.ScreenSaver, else a
    // source that always says 0 (and logs that idle detection is unavailable). Needs the
    // QCoreApplication; may wait briefly for the D-Bus services' first answers.
    static std::unique_ptr<IdleTimeSource> createDefault();

    // The source the application uses. Tests install a fake; when nothing has been installed,
    // createDefault() is called on first use and its source lives until the application object is
    // destroyed.
    static IdleTimeSource& shared();
    // Not owned; nullptr goes back to the default source on the next shared().
    static void setShared(IdleTimeSource* source);
};

} // namespace platform
