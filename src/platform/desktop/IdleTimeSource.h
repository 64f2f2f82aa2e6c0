#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDBusConnection;

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

// What a threshold-event source tells (see IdleTimeSource::Kind).
struct IdleEvent {
    enum class Type {
        // The user has had no input since `uptime` and has now been away for the threshold.
        idle,
        // Input again at `uptime`, after an `idle`.
        active,
        // What answers has changed (a backend lost, back, or replaced): the watches must be armed
        // again, and the kind asked again. `uptime` is when it happened.
        changed,
    };
    Type type;
    // System uptime, in seconds.
    double uptime = 0;
};

// Seconds since the user's last input, per event type, or the moments the user went idle and came
// back. Backends differ in what they can tell (kind()):
// - An exact running figure (X11's MIT-SCREEN-SAVER): secondsSinceLastEvent() is the truth at any
//   moment, and the session engine asks for it.
// - Threshold events (X11's SYNC IDLETIME alarms, Mutter's IdleMonitor watches, ext-idle-notify-v1,
//   org_kde_kwin_idle, the screen saver service):
//   the source is armed with the threshold and says "idle since T" once the user has been away for
//   it, and "active again at T" at the next input. Its figures are for diagnostics only: between
//   events they are at best extrapolated, and nothing may be decided on them.
//
// The Linux backends know only "any input", so they answer the same figure for every type and say
// so (distinguishesEventTypes()), so that a caller asks them once rather than once per type; the
// fake answers per type unless told not to.
//
// Answers are always finite and never negative. Asked once a second on the main thread, so no
// implementation blocks. Events come on the main thread. Main-thread only unless an
// implementation says otherwise.
class IdleTimeSource {
public:
    enum class Kind { exactFigure, thresholdEvents };
    using EventHandler = std::function<void(const IdleEvent&)>;

    virtual ~IdleTimeSource() = default;

    virtual Kind kind() const { return Kind::exactFigure; }
    virtual double secondsSinceLastEvent(InputEventType type) = 0;
    // Whether secondsSinceLastEvent() may answer differently for different types. When it does
    // not, the answer for one type is the answer for all of them.
    virtual bool distinguishesEventTypes() const = 0;
    // Seconds since any input at all, keyboard, pointer or other device (for diagnostics).
    virtual double secondsSinceLastInput() = 0;
    // What answers, for logs and debug information ("X11 MIT-SCREEN-SAVER", ...).
    virtual std::string name() const = 0;
    // Sets the watches for the idle time from which on the user counts as away. With `idleSince`
    // the user counts as away since that uptime already, and the next input is told as `active`.
    // Sources with exact figures measure any idle time and ignore it.
    virtual void armWatches(double thresholdSeconds, std::optional<double> idleSince)
    {
        static_cast<void>(thresholdSeconds);
        static_cast<void>(idleSince);
    }
    // Takes the watches down: a source that does not answer now need not be told anything.
    virtual void disarmWatches() { }
    // Whether the backend answers now. One that stops or comes back tells `changed`.
    virtual bool isAvailable() const { return true; }
    // Whether the backend has not learnt yet if it answers, its first question still on its way:
    // neither available nor known to be missing. Tells `changed` once it knows.
    virtual bool isAsking() const { return false; }

    // Who hears the events; one listener at a time, empty for none.
    void setEventHandler(EventHandler handler) { m_eventHandler = std::move(handler); }

    enum class Backend { x11, mutter, extIdleNotify, kdeIdle, screenSaver, unavailable };

    // The backends worth trying, best first. In a Wayland session the X server (Xwayland) sees
    // only the input that goes to X clients, so it is never asked there: GNOME Mutter's
    // IdleMonitor, then the compositor's ext-idle-notify-v1 (KWin, sway 1.8 on, Hyprland...), or
    // where it lacks that KDE's older org_kde_kwin_idle (sway 1.7 and wlroots compositors of its
    // age), then org.freedesktop.ScreenSaver.
    static std::vector<Backend> candidateOrder(bool waylandSession);
    static bool isWaylandSession();

    // The first backend of candidateOrder() that answers: in an X11 session the X server when it
    // has the SYNC extension's IDLETIME counter and XInput 2's raw events, else MIT-SCREEN-SAVER;
    // GNOME Mutter's IdleMonitor; in a Wayland session the compositor's ext_idle_notifier_v1, else
    // its org_kde_kwin_idle; org.freedesktop.ScreenSaver; else a source that always says 0 (and logs
    // that idle detection is unavailable). Needs the QCoreApplication. Returns at once: the D-Bus
    // services are asked without waiting, and while one preferred to every backend that answers has
    // not replied the source is asking (isAsking()) and tells `changed` once it knows.
    static std::unique_ptr<IdleTimeSource> createDefault();
    // The same with the desktop's D-Bus services asked on `sessionBus`, each given `probeTimeoutMs`
    // to answer (createDefault() gives them a second): tests stand in for the desktop on a bus of
    // their own, where no other program asks their stand-ins, and their answers race no timer.
    static std::unique_ptr<IdleTimeSource> createDefault(
        const QDBusConnection& sessionBus, int probeTimeoutMs);

    // The source the application uses. Tests install a fake; when nothing has been installed,
    // createDefault() is called on first use and its source lives until the application object is
    // destroyed.
    static IdleTimeSource& shared();
    // Not owned; nullptr goes back to the default source on the next shared().
    static void setShared(IdleTimeSource* source);

protected:
    void tell(const IdleEvent& event) const
    {
        if (m_eventHandler) {
            m_eventHandler(event);
        }
    }

private:
    EventHandler m_eventHandler;
};

} // namespace platform
