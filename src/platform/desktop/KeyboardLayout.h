#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// What the user's keyboard layout writes with each key.
//
// Main-thread only.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout();

    // The text (UTF-8) of the key's first level in the active layout group: "a" for the A key on
    // a US layout, "q" for the same key on a French one. Nothing when that level writes no
    // printable text.
    virtual std::optional<std::string> keyText(std::uint32_t x11KeyCode) const = 0;
    // The XKB name of the same symbol ("a", "comma", "Return", "F5"), as desktop shortcut settings
    // spell keys; nothing for a key without one.
    virtual std::optional<std::string> keysymName(std::uint32_t x11KeyCode) const = 0;

    // The application's layout: the X server's keyboard where Qt runs on X11, else the layout
    // named by the XKB_DEFAULT_* environment (a US layout without it). Tests install their own.
    static const KeyboardLayout& shared();
    // Not owned; nullptr goes back to the default on the next shared().
    static void setShared(const KeyboardLayout* layout);
};

} // namespace platform
