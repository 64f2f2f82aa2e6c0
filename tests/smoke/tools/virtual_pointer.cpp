// A pointer for the tests' user on a wlroots compositor (sway), whose headless seat has none: it
// joins the seat as a new device when this starts, which is when clients first see a pointer, and
// leaves it when this ends. Usage:
//   virtual_pointer <width>x<height> <step>...
// where the size is the output layout's and each step is move:<x>,<y> (absolute, in that layout),
// click (the left button pressed and released) or wait:<milliseconds>.
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr std::uint32_t leftButton = 0x110; // BTN_LEFT

zwlr_virtual_pointer_manager_v1* manager = nullptr;

void global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t)
{
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) { }
const wl_registry_listener registryListener = { &global, &globalRemove };

std::uint32_t now()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

int main(int argc, char** argv)
{
    unsigned width = 0;
    unsigned height = 0;
    if (argc < 2 || std::sscanf(argv[1], "%ux%u", &width, &height) != 2 || width == 0 || height == 0) {
        std::fprintf(stderr, "usage: virtual_pointer <width>x<height> [move:<x>,<y>|click|wait:<ms>]...\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "virtual_pointer: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "virtual_pointer: the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer
        = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    wl_display_roundtrip(display);
    for (int index = 2; index < argc; ++index) {
        const std::string step = argv[index];
        unsigned x = 0;
        unsigned y = 0;
        unsigned milliseconds = 0;
        if (std::sscanf(step.c_str(), "move:%u,%u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (step == "click") {
            zwlr_virtual_pointer_v1_button(pointer, now(), leftButton, WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, now(), leftButton, WL_POINTER_BUTTON_STATE_RELEASED);
            zwlr_virtual_pointer_v1_frame(pointer);
        } else if (std::sscanf(step.c_str(), "wait:%u", &milliseconds) == 1) {
            wl_display_flush(display);
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        } else {
            std::fprintf(stderr, "virtual_pointer: unknown step %s\n", step.c_str());
            return 2;
        }
        if (wl_display_roundtrip(display) < 0) {
            std::fprintf(stderr, "virtual_pointer: the compositor closed the connection\n");
            return 1;
        }
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
