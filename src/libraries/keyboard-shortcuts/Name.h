#pragma once

#include "libraries/keyboard-shortcuts/Shortcut.h"

#include <optional>
#include <string>

namespace KeyboardShortcuts {

// The name of a shortcut the application offers ("toggleMenu"); its shortcut is stored under
// "KeyboardShortcuts_" + the name. Two names are equal when their raw values are, whatever
// their defaults.
class Name {
public:
    // A name with a default writes it (claiming its hot key and announcing the change) when the
    // store holds nothing at all for the name; a stored shortcut or a disabled name stays. A name
    // without a default writes nothing.
    explicit Name(std::string rawValue, std::optional<Shortcut> defaultShortcut = std::nullopt);

    const std::string& rawValue() const { return m_rawValue; }
    const std::optional<Shortcut>& defaultShortcut() const { return m_defaultShortcut; }
    // The stored shortcut (KeyboardShortcuts::getShortcut).
    std::optional<Shortcut> currentShortcut() const;
    // The store's key: "KeyboardShortcuts_" + the raw value.
    std::string userDefaultsKey() const;

    friend bool operator==(const Name& a, const Name& b) { return a.m_rawValue == b.m_rawValue; }
    friend auto operator<=>(const Name& a, const Name& b) { return a.m_rawValue <=> b.m_rawValue; }

private:
    std::string m_rawValue;
    std::optional<Shortcut> m_defaultShortcut;
};

} // namespace KeyboardShortcuts

template <> struct std::hash<KeyboardShortcuts::Name> {
    std::size_t operator()(const KeyboardShortcuts::Name& name) const noexcept
    {
        return std::hash<std::string>()(name.rawValue());
    }
};
