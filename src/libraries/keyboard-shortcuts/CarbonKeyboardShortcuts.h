#pragma once

#include "libraries/keyboard-shortcuts/Shortcut.h"
#include "platform/desktop/GlobalHotKeys.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

// The registry of system-wide hot keys: one entry per combination the desktop gave us, each with
// the id it was grabbed under and the callbacks of its press and release. The desktop side is
// platform::GlobalHotKeys (X11 key grabs); this keeps the books and routes its events.
//
// Main-thread only.
namespace CarbonKeyboardShortcuts {

using Callback = std::function<void(const KeyboardShortcuts::Shortcut&)>;

struct HotKey {
    KeyboardShortcuts::Shortcut shortcut;
    std::uint32_t carbonHotKeyId = 0;
    Callback onKeyDown;
    Callback onKeyUp;
    // False while the hot keys are suspended, or when taking it back after a suspension failed.
    bool isGrabbed = true;
};

enum class HotKeyEventKind { pressed, released };

// Takes the combination from the desktop under a new id (the counter advances whatever the
// outcome). A combination the desktop refuses (another client holds it, or the key has no place
// on this keyboard) gets no entry and is logged; nothing is shown to the user.
void registerHotKey(
    std::int64_t carbonKeyCode, std::int64_t carbonModifiers, Callback onKeyDown, Callback onKeyUp);
// Gives back every entry of the combination.
void unregisterHotKey(std::int64_t carbonKeyCode, std::int64_t carbonModifiers);
// Routes one event of the desktop to its entry; false for an id that is not in the registry.
bool handleHotKeyEvent(std::uint32_t carbonHotKeyId, HotKeyEventKind kind);

// While suspended every entry's grab is given back (so that the keys reach a focused recorder);
// resuming takes them again. Entries and ids stay.
void setSuspended(bool suspended);
bool isSuspended();

const std::map<std::uint32_t, std::shared_ptr<HotKey>>& hotKeysById();
std::uint32_t hotKeyIdCounter();
// Whether the desktop holds a grab for the shortcut now.
bool isGrabbed(const KeyboardShortcuts::Shortcut& shortcut);
// Whether the shortcut has an entry (grabbed now, or given back while suspended): false when the
// desktop refused it.
bool isRegistered(const KeyboardShortcuts::Shortcut& shortcut);

// The desktop's combination for a shortcut; nothing when its key has no place on this keyboard or
// its numbers are out of range.
std::optional<platform::HotKeyCombination> combinationFor(const KeyboardShortcuts::Shortcut& shortcut);

void resetForTesting();

} // namespace CarbonKeyboardShortcuts
