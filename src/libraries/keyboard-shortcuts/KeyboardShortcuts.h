#pragma once

#include "libraries/keyboard-shortcuts/Name.h"
#include "libraries/keyboard-shortcuts/Shortcut.h"
#include "platform/async/AsyncStream.h"

#include <QObject>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Named global shortcuts: the shortcut stored for each name, the actions run when it is pressed or
// released whichever application has the keyboard, and the hot keys taken for them.
//
// A name's shortcut lives in the standard user-defaults suite under "KeyboardShortcuts_" + the
// name: the compact JSON text of the shortcut, or false once the user cleared it. Every change is
// announced by ShortcutChangeNotifier. Hot keys go through CarbonKeyboardShortcuts to the desktop.
//
// Main-thread only.
namespace KeyboardShortcuts {

using Handler = std::function<void()>;

enum class EventType { keyDown, keyUp };

// The name of the change notification, for logs and anyone matching on it.
inline constexpr const char* shortcutByNameDidChange = "KeyboardShortcuts_shortcutByNameDidChange";

// Announces every change of a stored shortcut, synchronously on the changing (main) thread.
class ShortcutChangeNotifier : public QObject {
    Q_OBJECT
public:
    static ShortcutChangeNotifier& shared();

Q_SIGNALS:
    void shortcutByNameDidChange(const KeyboardShortcuts::Name& name);
    // areGlobalShortcutsAvailable() changed (the desktop portal bound the names, or refused).
    void availabilityDidChange();
    // A hot key was claimed or released: hotKeyProblem() may answer differently.
    void hotKeysDidChange();
};

// --- Stored shortcuts

// The stored shortcut of `name`; nothing when none is stored, the name was cleared, or the stored
// value does not read as a shortcut (such a value is left as it is).
std::optional<Shortcut> getShortcut(const Name& name);
// With a shortcut: gives up the hot key of the name's current shortcut (unless another name with
// actions still uses it), claims the new one's, stores it and announces the change. With nothing:
// when the name has a stored shortcut, stores false, gives up its hot key and announces the
// change; otherwise does nothing at all.
void setShortcut(std::optional<Shortcut> shortcut, const Name& name);
// Each name in turn: one with a default gets it as setShortcut does; one without has its stored
// shortcut cleared (false stored, hot key released, change announced) when it has one.
void resetToDefaults(const std::vector<Name>& names);
void postShortcutDidChange(const Name& name);

// --- Actions and hot keys

// Appends an action run on each press (or release) of the name's shortcut, in the order added;
// claims the hot key when the name has a stored shortcut.
void addKeyDownHandler(const Name& name, Handler handler);
void addKeyUpHandler(const Name& name, Handler handler);
// Gives up the hot keys of every name with actions or streams, and forgets every action.
void removeAllActions();
// Gives up (or claims again) the hot key of the name's stored shortcut; the actions stay.
// Repeating either changes nothing more.
void suspendHotKey(const Name& name);
void resumeHotKey(const Name& name);
// Presses and releases of the name's shortcut; the stream's hot key is given up when the consumer
// goes away and no other name uses it. The second form passes only the one event type.
platform::async::AsyncStream<EventType> eventStream(const Name& name);
platform::async::AsyncStream<EventType> eventStream(EventType type, const Name& name);
// Runs what a press of the name's stored shortcut runs; nothing when it has none.
void triggerKeyDown(const Name& name);

// Takes the shortcut's hot key unless it is active already. A combination the desktop refused
// stays active (and so is not tried again) until it is released.
void claimHotKey(const Shortcut& shortcut);
void releaseHotKey(const Shortcut& shortcut);
// The callbacks of every hot key: run the actions and feed the streams of every name whose stored
// shortcut is `shortcut` now. Nothing runs while a recorder is recording.
void dispatchKeyDown(const Shortcut& shortcut);
void dispatchKeyUp(const Shortcut& shortcut);
// The same for one name, whatever its stored shortcut: the desktop portal reports presses of the
// trigger the user gave the name there.
void dispatchKeyDown(const Name& name);
void dispatchKeyUp(const Name& name);

// The shortcuts whose hot keys are claimed and not released.
const std::set<Shortcut>& activeHotKeyShortcuts();
// Whether the name has a stored shortcut whose hot key the desktop gave us: pressing it works.
bool hasWorkingHotKey(const Name& name);
// Why pressing the name's stored shortcut does nothing, in words for the user: a combination that
// breaks the recorder's rules (never taken), or one another application holds. Nothing when it
// works, when the name has none, or where the desktop portal binds the names instead.
std::optional<std::string> hotKeyProblem(const Name& name);

// Whether this desktop lets applications take global shortcuts at all: by grabbing keys (X11), or
// through the desktop portal once it has bound the names (PortalShortcuts).
bool areGlobalShortcutsAvailable();

// Set by a recorder while it records: the hot keys are given back to the desktop, so that the
// recorder sees every key, and no action runs.
bool isRecorderActive();
void setRecorderActive(bool active);

// Forgets every action, stream, registration and the recorder flag: for tests.
void resetForTesting();

} // namespace KeyboardShortcuts
