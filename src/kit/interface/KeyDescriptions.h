#pragma once

#include <QString>
#include <Qt>

#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zk {

// The modifier symbols in their fixed order, each present modifier once: "⌃" Ctrl, "⌥" Alt,
// "⇧" Shift, "⌘" Super (Qt's Meta). Keypad and other flags add nothing; no modifiers give "".
std::string modifierDescription(Qt::KeyboardModifiers modifiers);

// The function keys F1 to F35.
const std::set<Qt::Key>& functionKeys();

// Whether `key` is a modifier key (Shift, Ctrl, Alt, AltGr, Super, Hyper, Caps Lock): pressing or
// letting go of one changes the modifier state rather than typing.
bool isModifierKey(int key);

// "key: value" lines in the given order, joined by one line feed, without a trailing one.
std::string formatKeyValueLines(const std::vector<std::pair<std::string, std::string>>& pairs);

// The text of any printable value, as a string interpolation shows it: a text as itself (no
// quotes), true and false as words, anything else as its stream output.
template <class Value> std::string printedValue(const Value& value)
{
    if constexpr (std::is_convertible_v<const Value&, std::string_view>) {
        return std::string(std::string_view(value));
    } else if constexpr (std::is_same_v<Value, QString>) {
        return value.toStdString();
    } else if constexpr (std::is_same_v<Value, bool>) {
        return value ? "true" : "false";
    } else {
        std::ostringstream stream;
        stream << value;
        return stream.str();
    }
}

// The same lines over any ordered collection of key-value pairs with printable values: a list of
// pairs, or an ordered dictionary whose elements carry `key` and `value`; walked in its own order.
template <class Pairs> std::string formatKeyValueLines(const Pairs& pairs)
{
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& element : pairs) {
        if constexpr (requires {
                          element.key;
                          element.value;
                      }) {
            lines.emplace_back(printedValue(element.key), printedValue(element.value));
        } else {
            lines.emplace_back(printedValue(element.first), printedValue(element.second));
        }
    }
    return formatKeyValueLines(lines);
}

// The 64-bit FNV-1a hash of a text is zk::fnv1aHash in the foundation kit's error values.

} // namespace zk
