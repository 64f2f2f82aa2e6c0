// Keys for the tests' user at a KWin that has no input devices, through KWin's fake input (which
// KWin offers to every client when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1). Usage:
//   kwin_typist <count> <milliseconds>
// presses and releases the A key <count> times, <milliseconds> apart, on the display of
// WAYLAND_DISPLAY.
#include "fake-input-client-protocol.h"
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr std::uint32_t keyA = 30; // KEY_A

org_kde_kwin_fake_input* input = nullptr;

void global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version)
{
    // Keys came with version 4.
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && !input && version >= 4) {
        input = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) { }
const wl_registry_listener registryListener = { &global, &globalRemove };

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kwin_typist <count> <milliseconds>\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const int milliseconds = std::atoi(argv[2]);
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "kwin_typist: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!input) {
        std::fprintf(stderr, "kwin_typist: the compositor offers no fake input\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(input, "Kiruvo tests", "Types for the tests' user");
    for (int key = 0; key < count; ++key) {
        org_kde_kwin_fake_input_keyboard_key(input, keyA, WL_KEYBOARD_KEY_STATE_PRESSED);
        org_kde_kwin_fake_input_keyboard_key(input, keyA, WL_KEYBOARD_KEY_STATE_RELEASED);
        if (wl_display_roundtrip(display) < 0) {
            std::fprintf(stderr, "kwin_typist: the compositor closed the connection\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    org_kde_kwin_fake_input_destroy(input);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
