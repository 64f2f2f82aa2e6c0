#pragma once

#include "libraries/keyboard-shortcuts/Shortcut.h"

#include <optional>
#include <string>

namespace KeyboardShortcuts {

// The name of a shortcut the application offers ("toggleMenu"), with the shortcut it has before
// the user records one. A name without a default has no shortcut until the user records one.
class Name {
public:
    explicit Name(std::string rawValue, std::optional<Shortcut> defaultShortcut = std::nullopt)
        : m_rawValue(std::move(rawValue))
        , m_defaultShortcut(defaultShortcut)
    {
    }

    const std::string& rawValue() const { return m_rawValue; }
    const std::optional<Shortcut>& defaultShortcut() const { return m_defaultShortcut; }

    friend bool operator==(const Name& a, const Name& b) { return a.m_rawValue == b.m_rawValue; }

private:
    std::string m_rawValue;
    std::optional<Shortcut> m_defaultShortcut;
};

} // namespace KeyboardShortcuts
