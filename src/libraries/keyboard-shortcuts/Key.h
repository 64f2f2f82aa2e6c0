#pragma once

#include <Qt>

#include <cstdint>
#include <functional>
#include <optional>

namespace KeyboardShortcuts {

// A physical key, named by the key-code numbers that stored shortcuts use. Those numbers stay as
// they are in the store; keyCodeTable() translates them to the X server's key codes and to Qt's
// keys. Any number is accepted, also one no constant names.
class Key {
public:
    constexpr explicit Key(int rawValue)
        : m_rawValue(rawValue)
    {
    }

    constexpr int rawValue() const { return m_rawValue; }

    friend constexpr bool operator==(Key a, Key b) { return a.m_rawValue == b.m_rawValue; }
    friend constexpr auto operator<=>(Key a, Key b) { return a.m_rawValue <=> b.m_rawValue; }

    // Letters
    static const Key a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z;
    // Digits
    static const Key zero, one, two, three, four, five, six, seven, eight, nine;
    // Modifier keys
    static const Key capsLock, shift, function, control, option, command, rightCommand, rightOption,
        rightControl, rightShift;
    // Punctuation and whitespace ("return" is a C++ keyword)
    static const Key return_, backslash, backtick, comma, equal, minus, period, quote, semicolon, slash,
        space, tab, leftBracket, rightBracket;
    // Navigation
    static const Key pageUp, pageDown, home, end, upArrow, rightArrow, downArrow, leftArrow;
    // Editing ("delete" is a C++ keyword; it is the key left of the backspace position, Backspace)
    static const Key escape, delete_, deleteForward, help;
    // Media
    static const Key mute, volumeUp, volumeDown;
    // Function keys
    static const Key f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13, f14, f15, f16, f17, f18, f19,
        f20;
    // Keypad digits
    static const Key keypad0, keypad1, keypad2, keypad3, keypad4, keypad5, keypad6, keypad7, keypad8, keypad9;
    // Keypad others
    static const Key keypadClear, keypadDecimal, keypadDivide, keypadEnter, keypadEquals, keypadMinus,
        keypadMultiply, keypadPlus;

    // The X server's key code (the evdev code plus 8) of this key; nothing for a key the table
    // does not know (the Fn key never reaches the X server).
    std::optional<std::uint32_t> x11KeyCode() const;
    // The key at an X server key code; nothing for a key the table does not know.
    static std::optional<Key> fromX11KeyCode(std::uint32_t keyCode);
    // The Qt key this key gives on a US layout without modifiers (letters as Qt::Key_A...).
    std::optional<Qt::Key> qtKey() const;
    // The key that gives this Qt key on a US layout; used where an event carries no key code.
    static std::optional<Key> fromQtKey(int qtKey);

private:
    int m_rawValue;
};

} // namespace KeyboardShortcuts

template <> struct std::hash<KeyboardShortcuts::Key> {
    std::size_t operator()(KeyboardShortcuts::Key key) const noexcept
    {
        return std::hash<int>()(key.rawValue());
    }
};
