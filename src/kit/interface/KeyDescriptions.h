#pragma once

#include <Qt>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zk {

// The modifier symbols in their fixed order, each present modifier once: "⌃" Ctrl, "⌥" Alt,
// "⇧" Shift, "⌘" Super (Qt's Meta). Keypad and other flags add nothing; no modifiers give "".
std::string modifierDescription(Qt::KeyboardModifiers modifiers);

// The function keys F1 to F35.
const std::set<Qt::Key>& functionKeys();

// "key: value" lines in the given order, joined by one line feed, without a trailing one.
std::string formatKeyValueLines(const std::vector<std::pair<std::string, std::string>>& pairs);

// The 64-bit FNV-1a hash of a text is zk::fnv1aHash in the foundation kit's error values.

} // namespace zk
