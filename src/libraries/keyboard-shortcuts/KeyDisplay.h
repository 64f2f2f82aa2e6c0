#pragma once

#include <Qt>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace KeyboardShortcuts {

// The symbols of the keys that write no character ("↩" Return, "⎋" Escape, "F5"...), by key code.
const std::map<std::int64_t, std::string>& specialKeySymbols();
// The private-use characters that menus use as the key of F1 to F20 (U+F704 to U+F717), by key code.
const std::map<std::int64_t, std::string>& functionKeyEquivalents();

// The text of a key: its symbol when it is a special key, else what its first level writes in the
// current keyboard layout ("a" on a US layout, "q" for the same key on a French one). Nothing for
// a key that writes nothing there or that this keyboard lacks.
std::optional<std::string> keyCodeToCharacter(std::int64_t keyCode);

// The modifier symbols of Qt modifiers, in the fixed order "⌃⌥⇧⌘".
std::string modifierFlagsDescription(Qt::KeyboardModifiers modifiers);

} // namespace KeyboardShortcuts
