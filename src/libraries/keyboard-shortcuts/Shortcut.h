#pragma once

#include "libraries/keyboard-shortcuts/Key.h"

#include <QKeySequence>
#include <Qt>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QEvent;

namespace KeyboardShortcuts {

class Name;

// The modifier bits of a stored shortcut, and their meeting with Qt's modifiers. Only these four
// are converted, in either direction: Command is the Super key (Qt's Meta), Option is Alt.
namespace CarbonModifiers {
constexpr int command = 0x100;
constexpr int shift = 0x200;
constexpr int option = 0x800;
constexpr int control = 0x1000;

int fromQt(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers toQt(std::int64_t carbonModifiers);
} // namespace CarbonModifiers

// A key with the modifiers held with it, in the numbers the store keeps: the key's code (Key) and
// the modifier bits of CarbonModifiers. Caps Lock, Num Lock, the keypad flag and the layout group
// are no part of a shortcut.
class Shortcut {
public:
    // The members of the stored JSON object.
    struct CodingKeys {
        static constexpr const char* carbonKeyCode = "carbonKeyCode";
        static constexpr const char* carbonModifiers = "carbonModifiers";
    };

    Shortcut(Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // A shortcut exactly as stored, whatever the numbers hold.
    static Shortcut fromCarbon(std::int64_t carbonKeyCode, std::int64_t carbonModifiers);

    // The shortcut of a key press or release: the key from the event's X server key code when it
    // has one, else from Qt's key; nothing for any other event, a bare modifier key or a key the
    // key-code table does not know.
    static std::optional<Shortcut> fromEvent(const QEvent* event);
    // The stored shortcut of `name` (KeyboardShortcuts::getShortcut).
    static std::optional<Shortcut> fromName(const Name& name);

    std::int64_t carbonKeyCode() const { return m_carbonKeyCode; }
    std::int64_t carbonModifiers() const { return m_carbonModifiers; }
    Key key() const { return Key(static_cast<int>(m_carbonKeyCode)); }
    Qt::KeyboardModifiers modifiers() const { return CarbonModifiers::toQt(m_carbonModifiers); }

    // The stored form: the compact JSON object {"carbonKeyCode":0,"carbonModifiers":6144}.
    std::optional<std::string> jsonText() const;
    // Reads the stored form: an object with both members as integers, in any order, other members
    // ignored; anything else gives nothing.
    static std::optional<Shortcut> fromJSONText(const std::string& text);

    // The combination as this desktop writes it, Qt's native text: the modifiers then the key as
    // the current keyboard layout writes it ("Ctrl+Alt+A", "Meta+Return", "Shift+F5"), or the
    // modifiers then "�" when the key has no name.
    std::string description() const;
    // The text a menu item shows as its key: the key's text as the layout gives it, a special
    // key's symbol, or for F1 to F20 the private-use character menus use for them; "" for none.
    std::string keyEquivalent() const;
    // The same combination as Qt spells it (for a QAction's shortcut); empty when the key has no
    // text and no Qt key.
    QKeySequence keySequence() const;

    friend bool operator==(const Shortcut& a, const Shortcut& b)
    {
        return a.m_carbonKeyCode == b.m_carbonKeyCode && a.m_carbonModifiers == b.m_carbonModifiers;
    }
    friend std::strong_ordering operator<=>(const Shortcut& a, const Shortcut& b)
    {
        if (const auto order = a.m_carbonKeyCode <=> b.m_carbonKeyCode; order != 0) {
            return order;
        }
        return a.m_carbonModifiers <=> b.m_carbonModifiers;
    }

private:
    Shortcut() = default;

    std::int64_t m_carbonKeyCode = 0;
    std::int64_t m_carbonModifiers = 0;
};

} // namespace KeyboardShortcuts

template <> struct std::hash<KeyboardShortcuts::Shortcut> {
    std::size_t operator()(const KeyboardShortcuts::Shortcut& shortcut) const noexcept
    {
        return std::hash<std::int64_t>()(shortcut.carbonKeyCode()) * 31u
            + std::hash<std::int64_t>()(shortcut.carbonModifiers());
    }
};
