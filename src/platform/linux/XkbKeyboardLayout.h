#pragma once

#include "platform/desktop/KeyboardLayout.h"

#include <memory>
#include <string>

struct xkb_context;
struct xkb_keymap;
struct xcb_connection_t;

namespace platform {

// A keyboard layout read with libxkbcommon: either the X server's keyboard, read afresh on every
// question (so that a layout switched meanwhile counts), or a fixed keymap compiled from rule
// names. Without either it knows no key.
class XkbKeyboardLayout final : public KeyboardLayout {
public:
    struct RuleNames {
        std::string layout; // "us", "fr"; empty: XKB_DEFAULT_LAYOUT, else the library's default
        std::string variant;
        std::string model;
        std::string options;
    };

    XkbKeyboardLayout();
    ~XkbKeyboardLayout() override;

    // Nothing when the X server (Qt's connection) has no XKB extension or Qt is not on X11.
    static std::unique_ptr<XkbKeyboardLayout> fromX11Server();
    // The server of `connection`, which must outlive the layout.
    static std::unique_ptr<XkbKeyboardLayout> fromX11Connection(xcb_connection_t* connection);
    // Nothing when the names compile to no keymap (the XKB data are missing).
    static std::unique_ptr<XkbKeyboardLayout> fromNames(const RuleNames& names);

    std::optional<std::string> keyText(std::uint32_t x11KeyCode) const override;
    std::optional<std::string> keysymName(std::uint32_t x11KeyCode) const override;

private:
    // The keysym of the key's first level in the active group; 0 for none.
    std::uint32_t firstLevelKeysym(std::uint32_t x11KeyCode) const;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
