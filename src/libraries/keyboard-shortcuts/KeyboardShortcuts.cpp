#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"

#include "libraries/keyboard-shortcuts/CarbonKeyboardShortcuts.h"
#include "libraries/keyboard-shortcuts/PortalShortcuts.h"
#include "libraries/keyboard-shortcuts/RecorderRules.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/desktop/GlobalHotKeys.h"
#include "platform/store/UserDefaults.h"

#include <QCoreApplication>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace KeyboardShortcuts {

namespace {

struct ActionList {
    Name name;
    std::vector<Handler> actions;
};

using Sink = std::function<void()>;

struct SinkList {
    Name name;
    std::map<std::uint64_t, Sink> sinks;
};

// Keyed by raw value: names are equal when their raw values are.
struct State {
    std::set<Shortcut> activeHotKeyShortcuts;
    std::map<std::string, ActionList> keyDownActions;
    std::map<std::string, ActionList> keyUpActions;
    std::map<std::string, SinkList> keyDownStreamSinks;
    std::map<std::string, SinkList> keyUpStreamSinks;
    std::uint64_t streamCounter = 0;
    bool isRecorderActive = false;
    // The store's observers of the names with actions or streams, by raw value, and the store they
    // observe; set while setShortcut() stores, whose hot keys are seen to already.
    std::map<std::string, platform::UserDefaults::ObserverId> storeObservers;
    std::weak_ptr<platform::UserDefaults> observedStore;
    bool isStoring = false;
};

State& state()
{
    static State instance;
    return instance;
}

platform::UserDefaults& store()
{
    return *platform::UserDefaults::standard();
}

// Every name that has actions or streams.
std::vector<Name> namesInTables()
{
    std::vector<Name> names;
    auto collect = [&names](const auto& table) {
        for (const auto& [rawValue, entry] : table) {
            names.push_back(entry.name);
        }
    };
    collect(state().keyDownActions);
    collect(state().keyUpActions);
    collect(state().keyDownStreamSinks);
    collect(state().keyUpStreamSinks);
    return names;
}

bool isUsedByAnotherName(const Shortcut& shortcut, const Name& except)
{
    for (const Name& other : namesInTables()) {
        if (!(other == except) && getShortcut(other) == shortcut) {
            return true;
        }
    }
    return false;
}

// Two names may share one hot key: changing one of them must leave the other's working.
void releaseHotKeyUnlessShared(const Shortcut& shortcut, const Name& name)
{
    if (!isUsedByAnotherName(shortcut, name)) {
        releaseHotKey(shortcut);
    }
}

std::optional<Shortcut> shortcutIn(const std::optional<platform::PropertyList>& value)
{
    // A stored number (the disabled marker) reads as its decimal text, which is no shortcut.
    const auto* text = value ? value->getIf<std::string>() : nullptr;
    return text ? Shortcut::fromJSONText(*text) : std::nullopt;
}

void stopFollowingStoredShortcuts()
{
    if (const auto observed = state().observedStore.lock()) {
        for (const auto& [rawValue, id] : state().storeObservers) {
            observed->removeObserver(id);
        }
    }
    state().storeObservers.clear();
}

// A shortcut stored by another program (the sqlite3 tool, a sync tool) takes the name's hot key as
// one set here does: the one it replaces is given up unless another name uses it, the new one is
// claimed, and the change is announced.
void followStoredShortcut(const Name& name)
{
    const auto suite = platform::UserDefaults::standard();
    if (state().observedStore.lock() != suite) {
        stopFollowingStoredShortcuts();
        state().observedStore = suite;
    }
    if (state().storeObservers.contains(name.rawValue())) {
        return;
    }
    state().storeObservers[name.rawValue()] = suite->addObserver(
        name.userDefaultsKey(), [name](const std::string&, const auto& oldValue, const auto& newValue) {
            const std::optional<Shortcut> before = shortcutIn(oldValue);
            const std::optional<Shortcut> after = shortcutIn(newValue);
            if (state().isStoring || before == after) {
                return;
            }
            if (before) {
                releaseHotKeyUnlessShared(*before, name);
            }
            if (after) {
                claimHotKey(*after);
            }
            postShortcutDidChange(name);
        });
}

void addHandler(std::map<std::string, ActionList>& table, const Name& name, Handler handler)
{
    followStoredShortcut(name);
    auto [entry, inserted] = table.try_emplace(name.rawValue(), ActionList { name, {} });
    entry->second.actions.push_back(std::move(handler));
    if (const std::optional<Shortcut> shortcut = getShortcut(name)) {
        claimHotKey(*shortcut);
    }
}

void dispatch(const std::function<bool(const Name&)>& matches,
    const std::map<std::string, ActionList>& actionTable, const std::map<std::string, SinkList>& sinkTable)
{
    if (state().isRecorderActive) {
        return;
    }
    // Copies: an action may add actions or change shortcuts.
    const std::map<std::string, ActionList> actions = actionTable;
    for (const auto& [rawValue, entry] : actions) {
        if (matches(entry.name)) {
            for (const Handler& action : entry.actions) {
                if (action) {
                    action();
                }
            }
        }
    }
    const std::map<std::string, SinkList> sinks = sinkTable;
    for (const auto& [rawValue, entry] : sinks) {
        if (matches(entry.name)) {
            for (const auto& [id, sink] : entry.sinks) {
                sink();
            }
        }
    }
}

// Names are found by their stored shortcut at the moment of the press.
std::function<bool(const Name&)> storedShortcutIs(const Shortcut& shortcut)
{
    return [shortcut](const Name& name) { return getShortcut(name) == shortcut; };
}

std::function<bool(const Name&)> nameIs(const Name& wanted)
{
    return [wanted](const Name& name) { return name == wanted; };
}

void removeSink(std::map<std::string, SinkList>& table, const std::string& rawValue, std::uint64_t id)
{
    const auto found = table.find(rawValue);
    if (found == table.end()) {
        return;
    }
    found->second.sinks.erase(id);
    if (found->second.sinks.empty()) {
        table.erase(found);
    }
}

platform::async::AsyncStream<EventType> makeEventStream(const Name& name, std::optional<EventType> only)
{
    using Stream = platform::async::AsyncStream<EventType>;
    return Stream([name, only](Stream::Continuation continuation) {
        const std::uint64_t id = ++state().streamCounter;
        // The tables of actions and streams are the process's, as long as the application runs.
        platform::MainQueue::post(QCoreApplication::instance(), [name, only, id, continuation] {
            auto sinkFor = [only, continuation](EventType type) -> Sink {
                return [only, continuation, type] {
                    if (!only || *only == type) {
                        continuation.yield(type);
                    }
                };
            };
            state()
                .keyDownStreamSinks.try_emplace(name.rawValue(), SinkList { name, {} })
                .first->second.sinks[id]
                = sinkFor(EventType::keyDown);
            state()
                .keyUpStreamSinks.try_emplace(name.rawValue(), SinkList { name, {} })
                .first->second.sinks[id]
                = sinkFor(EventType::keyUp);
            followStoredShortcut(name);
            if (const std::optional<Shortcut> shortcut = getShortcut(name)) {
                claimHotKey(*shortcut);
            }
        });
        continuation.setOnTermination([name, id](platform::async::Termination) {
            platform::MainQueue::post(QCoreApplication::instance(), [name, id] {
                removeSink(state().keyDownStreamSinks, name.rawValue(), id);
                removeSink(state().keyUpStreamSinks, name.rawValue(), id);
                const std::optional<Shortcut> shortcut = getShortcut(name);
                if (!shortcut) {
                    return;
                }
                for (const Name& other : namesInTables()) {
                    if (getShortcut(other) == shortcut) {
                        return;
                    }
                }
                releaseHotKey(*shortcut);
            });
        });
    });
}

} // namespace

ShortcutChangeNotifier& ShortcutChangeNotifier::shared()
{
    static ShortcutChangeNotifier* notifier = new ShortcutChangeNotifier;
    return *notifier;
}

std::optional<Shortcut> getShortcut(const Name& name)
{
    return shortcutIn(store().objectForKey(name.userDefaultsKey()));
}

void setShortcut(std::optional<Shortcut> shortcut, const Name& name)
{
    if (!shortcut) {
        const std::optional<Shortcut> current = getShortcut(name);
        if (!current) {
            return;
        }
        state().isStoring = true;
        store().setObject(platform::PropertyList(false), name.userDefaultsKey());
        state().isStoring = false;
        releaseHotKeyUnlessShared(*current, name);
        postShortcutDidChange(name);
        return;
    }
    const std::optional<std::string> text = shortcut->jsonText();
    if (!text) {
        return;
    }
    if (const std::optional<Shortcut> current = getShortcut(name)) {
        releaseHotKeyUnlessShared(*current, name);
    }
    claimHotKey(*shortcut);
    state().isStoring = true;
    store().setObject(platform::PropertyList(*text), name.userDefaultsKey());
    state().isStoring = false;
    postShortcutDidChange(name);
}

void resetToDefaults(const std::vector<Name>& names)
{
    for (const Name& name : names) {
        if (name.defaultShortcut()) {
            setShortcut(name.defaultShortcut(), name);
        } else {
            setShortcut(std::nullopt, name);
        }
    }
}

void postShortcutDidChange(const Name& name)
{
    Q_EMIT ShortcutChangeNotifier::shared().shortcutByNameDidChange(name);
}

void addKeyDownHandler(const Name& name, Handler handler)
{
    addHandler(state().keyDownActions, name, std::move(handler));
}

void addKeyUpHandler(const Name& name, Handler handler)
{
    addHandler(state().keyUpActions, name, std::move(handler));
}

void removeAllActions()
{
    std::set<Shortcut> shortcuts;
    for (const Name& name : namesInTables()) {
        if (const std::optional<Shortcut> shortcut = getShortcut(name)) {
            shortcuts.insert(*shortcut);
        }
    }
    for (const Shortcut& shortcut : shortcuts) {
        releaseHotKey(shortcut);
    }
    state().keyDownActions.clear();
    state().keyUpActions.clear();
}

void suspendHotKey(const Name& name)
{
    if (const std::optional<Shortcut> shortcut = getShortcut(name)) {
        releaseHotKey(*shortcut);
    }
}

void resumeHotKey(const Name& name)
{
    if (const std::optional<Shortcut> shortcut = getShortcut(name)) {
        claimHotKey(*shortcut);
    }
}

platform::async::AsyncStream<EventType> eventStream(const Name& name)
{
    return makeEventStream(name, std::nullopt);
}

platform::async::AsyncStream<EventType> eventStream(EventType type, const Name& name)
{
    return makeEventStream(name, type);
}

void triggerKeyDown(const Name& name)
{
    if (const std::optional<Shortcut> shortcut = getShortcut(name)) {
        dispatchKeyDown(*shortcut);
    }
}

void claimHotKey(const Shortcut& shortcut)
{
    if (state().activeHotKeyShortcuts.contains(shortcut)) {
        return;
    }
    // Kept as claimed, like a combination the desktop refused, so that it is not tried again.
    if (const std::optional<ShortcutRuleBreak> ruleBreak = recorderRuleBrokenBy(shortcut)) {
        platform::log(platform::LogLevel::Warning, platform::lcShortcuts(),
            "The stored shortcut " + shortcut.description()
                + " is not taken: " + ruleBreakReason(*ruleBreak));
        state().activeHotKeyShortcuts.insert(shortcut);
        Q_EMIT ShortcutChangeNotifier::shared().hotKeysDidChange();
        return;
    }
    CarbonKeyboardShortcuts::registerHotKey(
        shortcut.carbonKeyCode(), shortcut.carbonModifiers(),
        [](const Shortcut& pressed) { dispatchKeyDown(pressed); },
        [](const Shortcut& released) { dispatchKeyUp(released); });
    state().activeHotKeyShortcuts.insert(shortcut);
    Q_EMIT ShortcutChangeNotifier::shared().hotKeysDidChange();
}

void releaseHotKey(const Shortcut& shortcut)
{
    CarbonKeyboardShortcuts::unregisterHotKey(shortcut.carbonKeyCode(), shortcut.carbonModifiers());
    if (state().activeHotKeyShortcuts.erase(shortcut) > 0) {
        Q_EMIT ShortcutChangeNotifier::shared().hotKeysDidChange();
    }
}

void dispatchKeyDown(const Shortcut& shortcut)
{
    dispatch(storedShortcutIs(shortcut), state().keyDownActions, state().keyDownStreamSinks);
}

void dispatchKeyUp(const Shortcut& shortcut)
{
    dispatch(storedShortcutIs(shortcut), state().keyUpActions, state().keyUpStreamSinks);
}

void dispatchKeyDown(const Name& name)
{
    dispatch(nameIs(name), state().keyDownActions, state().keyDownStreamSinks);
}

void dispatchKeyUp(const Name& name)
{
    dispatch(nameIs(name), state().keyUpActions, state().keyUpStreamSinks);
}

const std::set<Shortcut>& activeHotKeyShortcuts()
{
    return state().activeHotKeyShortcuts;
}

bool hasWorkingHotKey(const Name& name)
{
    const std::optional<Shortcut> shortcut = getShortcut(name);
    return shortcut && state().activeHotKeyShortcuts.contains(*shortcut)
        && CarbonKeyboardShortcuts::isGrabbed(*shortcut);
}

std::optional<std::string> hotKeyProblem(const Name& name)
{
    const std::optional<Shortcut> shortcut = getShortcut(name);
    if (!shortcut) {
        return std::nullopt;
    }
    if (const std::optional<ShortcutRuleBreak> ruleBreak = recorderRuleBrokenBy(*shortcut)) {
        return ruleBreakReason(*ruleBreak);
    }
    if (PortalShortcuts::isBound() || !platform::GlobalHotKeys::shared().isAvailable()) {
        return std::nullopt;
    }
    if (state().activeHotKeyShortcuts.contains(*shortcut)
        && !CarbonKeyboardShortcuts::isRegistered(*shortcut)) {
        return std::string(
            "Another application uses this combination, so pressing it does nothing here. Record "
            "another one, or free it in that application.");
    }
    return std::nullopt;
}

bool areGlobalShortcutsAvailable()
{
    return platform::GlobalHotKeys::shared().isAvailable() || PortalShortcuts::isBound();
}

bool isRecorderActive()
{
    return state().isRecorderActive;
}

void setRecorderActive(bool active)
{
    state().isRecorderActive = active;
    CarbonKeyboardShortcuts::setSuspended(active);
}

void resetForTesting()
{
    stopFollowingStoredShortcuts();
    state() = State {};
    CarbonKeyboardShortcuts::resetForTesting();
    PortalShortcuts::resetForTesting();
}

} // namespace KeyboardShortcuts
