#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"

#include <map>
#include <string>
#include <vector>

namespace KeyboardShortcuts {

namespace {

struct Entry {
    std::optional<Name> name;
    std::vector<Handler> handlers;
    // Absent: never recorded, the default applies. Present and empty: cleared by the user.
    std::optional<std::optional<Shortcut>> recorded;
};

struct Registry {
    std::map<std::string, Entry> entries;
    std::set<Shortcut> registered;
    HotKeyBackend backend;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

Entry& entryFor(const Name& name)
{
    Entry& entry = registry().entries[name.rawValue()];
    if (!entry.name) {
        entry.name = name;
    }
    return entry;
}

std::optional<Shortcut> shortcutOf(const Entry& entry)
{
    if (entry.recorded) {
        return *entry.recorded;
    }
    return entry.name ? entry.name->defaultShortcut() : std::nullopt;
}

void takeHotKeyIfNeeded(const std::optional<Shortcut>& shortcut)
{
    if (shortcut && !registeredShortcuts().contains(*shortcut)) {
        registerHotKey(*shortcut);
        registeredShortcuts().insert(*shortcut);
    }
}

void runHandlers(const Entry& entry)
{
    // A handler may add handlers; run the ones present now.
    const std::vector<Handler> handlers = entry.handlers;
    for (const Handler& handler : handlers) {
        if (handler) {
            handler();
        }
    }
}

} // namespace

void addKeyDownHandler(const Name& name, Handler handler)
{
    Entry& entry = entryFor(name);
    entry.handlers.push_back(std::move(handler));
    takeHotKeyIfNeeded(shortcutOf(entry));
}

std::optional<Shortcut> getShortcut(const Name& name)
{
    const auto found = registry().entries.find(name.rawValue());
    if (found == registry().entries.end()) {
        return name.defaultShortcut();
    }
    return shortcutOf(found->second);
}

void setShortcut(const Name& name, std::optional<Shortcut> shortcut)
{
    Entry& entry = entryFor(name);
    const std::optional<Shortcut> old = shortcutOf(entry);
    entry.recorded = shortcut;
    if (entry.handlers.empty() || old == shortcut) {
        return;
    }
    if (old && registeredShortcuts().contains(*old)) {
        unregisterHotKey(*old);
        registeredShortcuts().erase(*old);
    }
    takeHotKeyIfNeeded(shortcut);
}

bool dispatchKeyDown(const Name& name)
{
    const auto found = registry().entries.find(name.rawValue());
    if (found == registry().entries.end() || found->second.handlers.empty()) {
        return false;
    }
    runHandlers(found->second);
    return true;
}

bool dispatchKeyDown(const Shortcut& shortcut)
{
    std::vector<std::string> matching;
    for (const auto& [rawValue, entry] : registry().entries) {
        if (shortcutOf(entry) == shortcut) {
            matching.push_back(rawValue);
        }
    }
    bool ran = false;
    for (const std::string& rawValue : matching) {
        const auto found = registry().entries.find(rawValue);
        if (found != registry().entries.end() && !found->second.handlers.empty()) {
            runHandlers(found->second);
            ran = true;
        }
    }
    return ran;
}

std::set<Shortcut>& registeredShortcuts()
{
    return registry().registered;
}

void setHotKeyBackend(HotKeyBackend backend)
{
    registry().backend = std::move(backend);
}

void registerHotKey(const Shortcut& shortcut)
{
    if (const auto& take = registry().backend.registerHotKey) {
        take(shortcut);
    }
}

void unregisterHotKey(const Shortcut& shortcut)
{
    if (const auto& release = registry().backend.unregisterHotKey) {
        release(shortcut);
    }
}

void resetForTesting()
{
    registry() = Registry {};
}

} // namespace KeyboardShortcuts
