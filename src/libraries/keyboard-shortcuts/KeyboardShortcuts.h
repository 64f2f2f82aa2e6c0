#pragma once

#include "libraries/keyboard-shortcuts/Name.h"
#include "libraries/keyboard-shortcuts/Shortcut.h"

#include <functional>
#include <optional>
#include <set>

// Named global shortcuts: handlers per name, the shortcut each name has, and the set of shortcuts
// whose hot keys are taken from the desktop. The global hot keys are registered by the
// keyboard-shortcuts library through the hot-key backend below; until that backend is installed,
// taking and releasing a hot key only keeps the books, so the handlers run when a key-down is
// dispatched here (by name or by shortcut) and not yet from other applications.
//
// Main-thread only.
namespace KeyboardShortcuts {

using Handler = std::function<void()>;

// Appends a key-down handler for `name`. When the name has a shortcut whose hot key is not taken
// yet, takes it and adds it to registeredShortcuts().
void addKeyDownHandler(const Name& name, Handler handler);

// The shortcut of `name`: the one recorded for it, else its default; nothing when it has neither.
std::optional<Shortcut> getShortcut(const Name& name);
// Records (or with nothing, clears) the shortcut of `name`. A name with handlers gives up the hot
// key of its old shortcut and takes the new one.
void setShortcut(const Name& name, std::optional<Shortcut> shortcut);

// Runs the key-down handlers of `name`, in the order they were added. False when it has none.
bool dispatchKeyDown(const Name& name);
// Runs the key-down handlers of every name whose shortcut is `shortcut`. False when none matched.
bool dispatchKeyDown(const Shortcut& shortcut);

// The shortcuts whose hot keys are taken now. Callers that release or take a hot key themselves
// keep this set in step.
std::set<Shortcut>& registeredShortcuts();

// Takes and releases the hot key of one shortcut from the desktop.
struct HotKeyBackend {
    std::function<void(const Shortcut&)> registerHotKey;
    std::function<void(const Shortcut&)> unregisterHotKey;
};
// An empty backend keeps only the books.
void setHotKeyBackend(HotKeyBackend backend);
void registerHotKey(const Shortcut& shortcut);
void unregisterHotKey(const Shortcut& shortcut);

// Forgets every handler, recorded shortcut and registration: for tests.
void resetForTesting();

} // namespace KeyboardShortcuts
