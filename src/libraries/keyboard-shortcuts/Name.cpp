#include "libraries/keyboard-shortcuts/Name.h"

#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "platform/store/UserDefaults.h"

namespace KeyboardShortcuts {

Name::Name(std::string rawValue, std::optional<Shortcut> defaultShortcut)
    : m_rawValue(std::move(rawValue))
    , m_defaultShortcut(defaultShortcut)
{
    if (m_defaultShortcut && !platform::UserDefaults::standard()->objectForKey(userDefaultsKey())) {
        setShortcut(m_defaultShortcut, *this);
    }
}

std::optional<Shortcut> Name::currentShortcut() const
{
    return getShortcut(*this);
}

std::string Name::userDefaultsKey() const
{
    return "KeyboardShortcuts_" + m_rawValue;
}

} // namespace KeyboardShortcuts
