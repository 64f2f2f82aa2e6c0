#pragma once

#include <QKeySequence>
#include <Qt>

#include <compare>
#include <cstddef>
#include <functional>
#include <optional>

class QEvent;

namespace KeyboardShortcuts {

// A key with the modifiers held with it, as Qt names them. Keypad and group-switch state are no
// part of a shortcut.
class Shortcut {
public:
    Shortcut(int key, Qt::KeyboardModifiers modifiers);

    // The shortcut of a key press or release; nothing for any other event or a bare modifier key.
    static std::optional<Shortcut> fromEvent(const QEvent* event);

    int key() const { return m_key; }
    Qt::KeyboardModifiers modifiers() const { return m_modifiers; }
    QKeySequence keySequence() const;

    friend bool operator==(const Shortcut& a, const Shortcut& b)
    {
        return a.m_key == b.m_key && a.m_modifiers == b.m_modifiers;
    }
    friend std::strong_ordering operator<=>(const Shortcut& a, const Shortcut& b)
    {
        if (const auto order = a.m_key <=> b.m_key; order != 0) {
            return order;
        }
        return a.m_modifiers.toInt() <=> b.m_modifiers.toInt();
    }

private:
    int m_key;
    Qt::KeyboardModifiers m_modifiers;
};

} // namespace KeyboardShortcuts

template <> struct std::hash<KeyboardShortcuts::Shortcut> {
    std::size_t operator()(const KeyboardShortcuts::Shortcut& shortcut) const noexcept
    {
        return std::hash<int>()(shortcut.key()) * 31u + std::hash<int>()(shortcut.modifiers().toInt());
    }
};
