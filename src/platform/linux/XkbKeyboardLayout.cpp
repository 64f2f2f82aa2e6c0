#include "platform/linux/XkbKeyboardLayout.h"

#include <QGuiApplication>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace platform {

namespace {

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;
using State = std::unique_ptr<xkb_state, StateDeleter>;

xkb_keysym_t firstLevelKeysymOf(xkb_keymap* keymap, xkb_keycode_t key, xkb_layout_index_t layout)
{
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_key_get_syms_by_level(keymap, key, layout, 0, &syms) < 1 || syms == nullptr) {
        return XKB_KEY_NoSymbol;
    }
    return syms[0];
}

} // namespace

struct XkbKeyboardLayout::Private {
    Context context;
    Keymap fixedKeymap;
    xcb_connection_t* connection = nullptr;
};

XkbKeyboardLayout::XkbKeyboardLayout()
    : d(std::make_unique<Private>())
{
}

XkbKeyboardLayout::~XkbKeyboardLayout() = default;

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromX11Server()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return nullptr;
    }
    return fromX11Connection(x11->connection());
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromX11Connection(xcb_connection_t* connection)
{
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        return nullptr;
    }
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) {
        return nullptr;
    }
    auto layout = std::make_unique<XkbKeyboardLayout>();
    layout->d->context = std::move(context);
    layout->d->connection = connection;
    return layout;
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::fromNames(const RuleNames& names)
{
    Context context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context) {
        return nullptr;
    }
    auto orNull = [](const std::string& text) { return text.empty() ? nullptr : text.c_str(); };
    const xkb_rule_names ruleNames { nullptr, orNull(names.model), orNull(names.layout),
        orNull(names.variant), orNull(names.options) };
    Keymap keymap(xkb_keymap_new_from_names(context.get(), &ruleNames, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        return nullptr;
    }
    auto layout = std::make_unique<XkbKeyboardLayout>();
    layout->d->context = std::move(context);
    layout->d->fixedKeymap = std::move(keymap);
    return layout;
}

std::uint32_t XkbKeyboardLayout::firstLevelKeysym(std::uint32_t x11KeyCode) const
{
    if (d->fixedKeymap) {
        return firstLevelKeysymOf(d->fixedKeymap.get(), x11KeyCode, 0);
    }
    if (!d->connection || !d->context) {
        return XKB_KEY_NoSymbol;
    }
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(d->connection);
    if (device < 0) {
        return XKB_KEY_NoSymbol;
    }
    Keymap keymap(
        xkb_x11_keymap_new_from_device(d->context.get(), d->connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        return XKB_KEY_NoSymbol;
    }
    State state(xkb_x11_state_new_from_device(keymap.get(), d->connection, device));
    const xkb_layout_index_t group = state ? xkb_state_key_get_layout(state.get(), x11KeyCode) : 0;
    return firstLevelKeysymOf(keymap.get(), x11KeyCode, group == XKB_LAYOUT_INVALID ? 0 : group);
}

std::optional<std::string> XkbKeyboardLayout::keyText(std::uint32_t x11KeyCode) const
{
    const xkb_keysym_t keysym = firstLevelKeysym(x11KeyCode);
    if (keysym == XKB_KEY_NoSymbol) {
        return std::nullopt;
    }
    char buffer[16] = {};
    const int size = xkb_keysym_to_utf8(keysym, buffer, sizeof buffer);
    // The size counts the terminating zero; a control character is no text to show.
    if (size <= 1 || static_cast<unsigned char>(buffer[0]) < 0x20 || buffer[0] == 0x7f) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(size - 1));
}

std::optional<std::string> XkbKeyboardLayout::keysymName(std::uint32_t x11KeyCode) const
{
    const xkb_keysym_t keysym = firstLevelKeysym(x11KeyCode);
    char buffer[64] = {};
    if (keysym == XKB_KEY_NoSymbol || xkb_keysym_get_name(keysym, buffer, sizeof buffer) <= 0) {
        return std::nullopt;
    }
    return std::string(buffer);
}

} // namespace platform
