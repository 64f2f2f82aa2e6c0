#include "libraries/keyboard-shortcuts/CarbonKeyboardShortcuts.h"

#include "platform/Logger.h"

#include <QMetaObject>

#include <limits>
#include <vector>

namespace CarbonKeyboardShortcuts {

namespace {

struct Registry {
    std::map<std::uint32_t, std::shared_ptr<HotKey>> hotKeysById;
    std::uint32_t hotKeyIdCounter = 0;
    // The connections to the desktop's presses and releases, made at the first successful
    // registration and kept.
    std::pair<QMetaObject::Connection, QMetaObject::Connection> hotKeyEventHandler;
    bool suspended = false;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

void installEventHandler()
{
    Registry& state = registry();
    if (state.hotKeyEventHandler.first) {
        return;
    }
    platform::GlobalHotKeys& hotKeys = platform::GlobalHotKeys::shared();
    state.hotKeyEventHandler.first = QObject::connect(&hotKeys, &platform::GlobalHotKeys::pressed,
        [](std::uint32_t id) { handleHotKeyEvent(id, HotKeyEventKind::pressed); });
    state.hotKeyEventHandler.second = QObject::connect(&hotKeys, &platform::GlobalHotKeys::released,
        [](std::uint32_t id) { handleHotKeyEvent(id, HotKeyEventKind::released); });
}

} // namespace

std::optional<platform::HotKeyCombination> combinationFor(const KeyboardShortcuts::Shortcut& shortcut)
{
    if (shortcut.carbonKeyCode() < 0 || shortcut.carbonKeyCode() > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> keyCode = shortcut.key().x11KeyCode();
    if (!keyCode) {
        return std::nullopt;
    }
    return platform::HotKeyCombination { *keyCode, shortcut.modifiers() };
}

void registerHotKey(
    std::int64_t carbonKeyCode, std::int64_t carbonModifiers, Callback onKeyDown, Callback onKeyUp)
{
    Registry& state = registry();
    const std::uint32_t id = ++state.hotKeyIdCounter;
    const auto shortcut = KeyboardShortcuts::Shortcut::fromCarbon(carbonKeyCode, carbonModifiers);
    const std::optional<platform::HotKeyCombination> combination = combinationFor(shortcut);
    if (!combination) {
        platform::log(platform::LogLevel::Info, platform::lcShortcuts(),
            "The shortcut " + shortcut.description() + " has no key on this keyboard; it is not taken");
        return;
    }
    auto hotKey
        = std::make_shared<HotKey>(HotKey { shortcut, id, std::move(onKeyDown), std::move(onKeyUp), true });
    if (state.suspended) {
        hotKey->isGrabbed = false;
    } else if (!platform::GlobalHotKeys::shared().grab(id, *combination)) {
        // Where no key can be grabbed at all, the desktop portal may stand in (PortalShortcuts).
        if (platform::GlobalHotKeys::shared().isAvailable()) {
            platform::log(platform::LogLevel::Info, platform::lcShortcuts(),
                "The desktop refused the shortcut " + shortcut.description()
                    + " (another application holds it); it does nothing until it is recorded again");
        }
        return;
    }
    state.hotKeysById[id] = std::move(hotKey);
    installEventHandler();
}

void unregisterHotKey(std::int64_t carbonKeyCode, std::int64_t carbonModifiers)
{
    const auto shortcut = KeyboardShortcuts::Shortcut::fromCarbon(carbonKeyCode, carbonModifiers);
    // A snapshot: ungrabbing may run code that registers again.
    const auto snapshot = registry().hotKeysById;
    for (const auto& [id, hotKey] : snapshot) {
        if (hotKey->shortcut == shortcut) {
            if (hotKey->isGrabbed) {
                platform::GlobalHotKeys::shared().ungrab(id);
            }
            registry().hotKeysById.erase(id);
        }
    }
}

bool handleHotKeyEvent(std::uint32_t carbonHotKeyId, HotKeyEventKind kind)
{
    const auto found = registry().hotKeysById.find(carbonHotKeyId);
    if (found == registry().hotKeysById.end()) {
        return false;
    }
    // The callback may unregister this very entry.
    const std::shared_ptr<HotKey> hotKey = found->second;
    const Callback& callback = kind == HotKeyEventKind::pressed ? hotKey->onKeyDown : hotKey->onKeyUp;
    if (callback) {
        callback(hotKey->shortcut);
    }
    return true;
}

void setSuspended(bool suspended)
{
    Registry& state = registry();
    if (state.suspended == suspended) {
        return;
    }
    state.suspended = suspended;
    platform::GlobalHotKeys& hotKeys = platform::GlobalHotKeys::shared();
    for (const auto& [id, hotKey] : state.hotKeysById) {
        if (suspended && hotKey->isGrabbed) {
            hotKeys.ungrab(id);
            hotKey->isGrabbed = false;
        } else if (!suspended && !hotKey->isGrabbed) {
            const std::optional<platform::HotKeyCombination> combination = combinationFor(hotKey->shortcut);
            hotKey->isGrabbed = combination && hotKeys.grab(id, *combination);
            if (!hotKey->isGrabbed) {
                platform::log(platform::LogLevel::Info, platform::lcShortcuts(),
                    "The shortcut " + hotKey->shortcut.description()
                        + " was taken by another application while it was suspended");
            }
        }
    }
}

bool isSuspended()
{
    return registry().suspended;
}

const std::map<std::uint32_t, std::shared_ptr<HotKey>>& hotKeysById()
{
    return registry().hotKeysById;
}

std::uint32_t hotKeyIdCounter()
{
    return registry().hotKeyIdCounter;
}

bool isGrabbed(const KeyboardShortcuts::Shortcut& shortcut)
{
    for (const auto& [id, hotKey] : registry().hotKeysById) {
        if (hotKey->shortcut == shortcut && hotKey->isGrabbed) {
            return true;
        }
    }
    return false;
}

bool isRegistered(const KeyboardShortcuts::Shortcut& shortcut)
{
    for (const auto& [id, hotKey] : registry().hotKeysById) {
        if (hotKey->shortcut == shortcut) {
            return true;
        }
    }
    return false;
}

void resetForTesting()
{
    Registry& state = registry();
    QObject::disconnect(state.hotKeyEventHandler.first);
    QObject::disconnect(state.hotKeyEventHandler.second);
    state = Registry {};
}

} // namespace CarbonKeyboardShortcuts
