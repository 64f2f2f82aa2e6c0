#include "KWinFakeInput.h"

#include "fake-input-client-protocol.h"
#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace {

// The version that brought keyboard_key.
constexpr std::uint32_t keyboardVersion = 4;

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* found = static_cast<std::pair<org_kde_kwin_fake_input*, std::uint32_t>*>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && !found->first) {
        found->second = std::min<std::uint32_t>(version, keyboardVersion);
        found->first = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, found->second));
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) { }

} // namespace

std::unique_ptr<KWinFakeInput> KWinFakeInput::open(const QString& socketPath, std::string* error)
{
    std::unique_ptr<KWinFakeInput> input(new KWinFakeInput);
    input->m_display = wl_display_connect(socketPath.toLocal8Bit().constData());
    if (!input->m_display) {
        *error = "no compositor answers at " + socketPath.toStdString();
        return nullptr;
    }
    static const wl_registry_listener listener = { &onGlobal, &onGlobalRemove };
    std::pair<org_kde_kwin_fake_input*, std::uint32_t> found { nullptr, 0 };
    input->m_registry = wl_display_get_registry(input->m_display);
    wl_registry_add_listener(input->m_registry, &listener, &found);
    if (wl_display_roundtrip(input->m_display) < 0) {
        *error = "the compositor did not list its globals";
        return nullptr;
    }
    input->m_input = found.first;
    input->m_version = found.second;
    if (!input->m_input) {
        *error = "the compositor offers no org_kde_kwin_fake_input to this client";
        return nullptr;
    }
    org_kde_kwin_fake_input_authenticate(
        input->m_input, "Kiruvo tests", "Stands in for the user at a compositor without input devices");
    if (!input->roundTrip()) {
        *error = "the compositor closed the connection";
        return nullptr;
    }
    return input;
}

KWinFakeInput::~KWinFakeInput()
{
    if (m_input) {
        org_kde_kwin_fake_input_destroy(m_input);
    }
    if (m_registry) {
        wl_registry_destroy(m_registry);
    }
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

bool KWinFakeInput::roundTrip()
{
    return wl_display_roundtrip(m_display) >= 0;
}

bool KWinFakeInput::movePointer()
{
    org_kde_kwin_fake_input_pointer_motion(m_input, wl_fixed_from_int(1), wl_fixed_from_int(1));
    org_kde_kwin_fake_input_pointer_motion(m_input, wl_fixed_from_int(-1), wl_fixed_from_int(-1));
    return roundTrip();
}

bool KWinFakeInput::pressKey(std::uint32_t evdevKey)
{
    if (m_version < keyboardVersion) {
        return false;
    }
    org_kde_kwin_fake_input_keyboard_key(m_input, evdevKey, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(m_input, evdevKey, WL_KEYBOARD_KEY_STATE_RELEASED);
    return roundTrip();
}
