#include "libraries/keyboard-shortcuts/KeyDisplay.h"

#include "kit/interface/KeyDescriptions.h"
#include "libraries/keyboard-shortcuts/Key.h"
#include "platform/desktop/KeyboardLayout.h"

#include <QString>

#include <limits>

namespace KeyboardShortcuts {

namespace {

constexpr std::int64_t functionKeyCodes[]
    = { 122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90 };

} // namespace

const std::map<std::int64_t, std::string>& specialKeySymbols()
{
    static const std::map<std::int64_t, std::string> symbols = [] {
        std::map<std::int64_t, std::string> table {
            { Key::return_.rawValue(), "\u21A9" },
            { Key::delete_.rawValue(), "\u232B" },
            { Key::deleteForward.rawValue(), "\u2326" },
            { Key::end.rawValue(), "\u2198" },
            { Key::escape.rawValue(), "\u238B" },
            { Key::help.rawValue(), "?\u20DD" },
            { Key::home.rawValue(), "\u2196" },
            { Key::space.rawValue(), "\u23B5" },
            { Key::tab.rawValue(), "\u21E5" },
            { Key::pageUp.rawValue(), "\u21DE" },
            { Key::pageDown.rawValue(), "\u21DF" },
            { Key::upArrow.rawValue(), "\u2191" },
            { Key::rightArrow.rawValue(), "\u2192" },
            { Key::downArrow.rawValue(), "\u2193" },
            { Key::leftArrow.rawValue(), "\u2190" },
        };
        int number = 1;
        for (const std::int64_t code : functionKeyCodes) {
            table[code] = std::string("F").append(std::to_string(number++));
        }
        return table;
    }();
    return symbols;
}

const std::map<std::int64_t, std::string>& functionKeyEquivalents()
{
    static const std::map<std::int64_t, std::string> equivalents = [] {
        std::map<std::int64_t, std::string> table;
        char16_t character = 0xF704;
        for (const std::int64_t code : functionKeyCodes) {
            table[code] = QString(QChar(character++)).toStdString();
        }
        return table;
    }();
    return equivalents;
}

std::optional<std::string> keyCodeToCharacter(std::int64_t keyCode)
{
    if (const auto found = specialKeySymbols().find(keyCode); found != specialKeySymbols().end()) {
        return found->second;
    }
    if (keyCode < 0 || keyCode > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> x11KeyCode = Key(static_cast<int>(keyCode)).x11KeyCode();
    if (!x11KeyCode) {
        return std::nullopt;
    }
    return platform::KeyboardLayout::shared().keyText(*x11KeyCode);
}

std::string modifierFlagsDescription(Qt::KeyboardModifiers modifiers)
{
    return zk::modifierDescription(modifiers);
}

} // namespace KeyboardShortcuts
