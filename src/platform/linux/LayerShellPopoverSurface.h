#pragma once

#include "platform/desktop/PopoverSurface.h"

#include <QSocketNotifier>

#include <cstdint>
#include <memory>
#include <vector>

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace platform {

// A popover as a surface of the layer shell's overlay layer, on a connection of its own to the
// compositor that lives as long as the popover: anchored to the output's nearer edges at the
// popover's place within the area bars leave free, or in that area's middle, with no keyboard
// interactivity, so the focus stays where the user types. Each picture is copied into shared memory
// once; pointer presses on it are read from the connection on the main thread as they come.
//
// Main-thread only.
class LayerShellPopoverSurface final : public PopoverSurface {
public:
    // Connects to the compositor of WAYLAND_DISPLAY; none when it does not answer or offers no layer
    // shell. Waits for the compositor's list of globals (one round trip).
    static std::unique_ptr<LayerShellPopoverSurface> open();
    ~LayerShellPopoverSurface() override;

    bool show(const QImage& picture, QPoint position, QSize screen) override;
    bool showInMiddle(const QImage& picture, int screenIndex, double raise) override;
    bool replacePicture(const QImage& picture) override;

private:
    struct Listeners;

    LayerShellPopoverSurface() = default;
    // The scale the picture is drawn at, and its size on the screen.
    int bufferScale(const QImage& picture) const;
    QSize surfaceSize(const QImage& picture) const;
    // Makes the layer surface of `size` on `output` (the compositor's choice when none); nothing
    // is committed.
    void createSurface(wl_output* output, QSize size);
    // Commits the surface's state without a picture and waits for the compositor's size for it.
    bool configure();
    // The size of the area the bars of `output` leave free, as the compositor tells it.
    QSize freeArea(wl_output* output);
    // Shows `picture` on the configured surface; false when it is refused or lost.
    bool present(const QImage& picture);
    bool attach(const QImage& picture);
    void flush();
    void readEvents();
    void destroySurface();
    void lose();

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_compositor* m_compositor = nullptr;
    wl_shm* m_shm = nullptr;
    wl_seat* m_seat = nullptr;
    wl_pointer* m_pointer = nullptr;
    zwlr_layer_shell_v1* m_layerShell = nullptr;
    // The compositor's screens in the order it announced them, the display's own order.
    std::vector<wl_output*> m_outputs;
    wl_surface* m_surface = nullptr;
    zwlr_layer_surface_v1* m_layerSurface = nullptr;
    wl_buffer* m_buffer = nullptr;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::uint32_t m_compositorVersion = 1;
    std::uint32_t m_configureSerial = 0;
    QSize m_configuredSize;
    bool m_configured = false;
    // The compositor ended the surface or the connection: nothing can be shown any more.
    bool m_closed = false;
    bool m_pointerInside = false;
    // Callbacks posted for later run only while this lives.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

} // namespace platform
