#include "platform/linux/LayerShellPopoverSurface.h"

#include "platform/Logger.h"

#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::uint32_t overlayLayer = ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
constexpr std::uint32_t noKeyboard = 0;
constexpr std::uint32_t pressed = WL_POINTER_BUTTON_STATE_PRESSED;

// Runs `action` on the main thread once the events being read are all handled, and only while
// `alive` still is: the owner of the surface may end it in a callback.
void later(const std::weak_ptr<void>& alive, std::function<void()> action)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive, action = std::move(action)] {
            if (!alive.expired() && action) {
                action();
            }
        },
        Qt::QueuedConnection);
}

} // namespace

struct LayerShellPopoverSurface::Listeners {
    static void global(
        void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
    {
        auto* self = static_cast<LayerShellPopoverSurface*>(data);
        if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !self->m_compositor) {
            // Version 3 for the buffer scale of a screen of high density.
            self->m_compositorVersion = std::min<uint32_t>(version, 3);
            self->m_compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, self->m_compositorVersion));
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !self->m_shm) {
            self->m_shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !self->m_layerShell) {
            self->m_layerShell = static_cast<zwlr_layer_shell_v1*>(
                wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
        } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
            self->m_outputs.push_back(
                static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1)));
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat) {
            self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            wl_seat_add_listener(self->m_seat, &seat, self);
        }
    }
    static void globalRemove(void*, wl_registry*, uint32_t) { }

    static void capabilities(void* data, wl_seat* seat, uint32_t capabilities)
    {
        auto* self = static_cast<LayerShellPopoverSurface*>(data);
        const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
        if (hasPointer && !self->m_pointer) {
            self->m_pointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(self->m_pointer, &pointer, self);
        } else if (!hasPointer && self->m_pointer) {
            wl_pointer_destroy(self->m_pointer);
            self->m_pointer = nullptr;
            self->m_pointerInside = false;
        }
    }

    static void enter(void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t, wl_fixed_t)
    {
        auto* self = static_cast<LayerShellPopoverSurface*>(data);
        self->m_pointerInside = surface != nullptr && surface == self->m_surface;
    }
    static void leave(void* data, wl_pointer*, uint32_t, wl_surface*)
    {
        static_cast<LayerShellPopoverSurface*>(data)->m_pointerInside = false;
    }
    static void motion(void*, wl_pointer*, uint32_t, wl_fixed_t, wl_fixed_t) { }
    static void button(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state)
    {
        auto* self = static_cast<LayerShellPopoverSurface*>(data);
        if (state == pressed && self->m_pointerInside && self->m_layerSurface) {
            later(self->m_alive, [self] {
                // A copy: the owner may end the surface, and its callbacks with it, in the call.
                if (const auto onClick = self->onClick) {
                    onClick();
                }
            });
        }
    }
    static void axis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) { }

    static void configure(
        void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height)
    {
        auto* self = static_cast<LayerShellPopoverSurface*>(data);
        self->m_configureSerial = serial;
        self->m_configuredSize = QSize(static_cast<int>(width), static_cast<int>(height));
        self->m_configured = true;
    }
    static void closed(void* data, zwlr_layer_surface_v1*)
    {
        auto* self = static_cast<LayerShellPopoverSurface*>(data);
        self->m_closed = true;
        later(self->m_alive, [self] {
            self->destroySurface();
            if (const auto onClosed = self->onClosed) {
                onClosed();
            }
        });
    }

    static constexpr wl_registry_listener registry = { &global, &globalRemove };
    static constexpr wl_seat_listener seat = { &capabilities, nullptr };
    // Version 1 of the seat, and so of its pointer, sends these events alone.
    static constexpr wl_pointer_listener pointer
        = { &enter, &leave, &motion, &button, &axis, nullptr, nullptr, nullptr, nullptr, nullptr };
    static constexpr zwlr_layer_surface_v1_listener layerSurface = { &configure, &closed };
};

std::unique_ptr<LayerShellPopoverSurface> LayerShellPopoverSurface::open()
{
    std::unique_ptr<LayerShellPopoverSurface> self(new LayerShellPopoverSurface);
    self->m_display = wl_display_connect(nullptr);
    if (!self->m_display) {
        return nullptr;
    }
    self->m_registry = wl_display_get_registry(self->m_display);
    wl_registry_add_listener(self->m_registry, &Listeners::registry, self.get());
    // The globals, then the seat's capabilities that binding it asked for.
    if (wl_display_roundtrip(self->m_display) < 0 || wl_display_roundtrip(self->m_display) < 0) {
        return nullptr;
    }
    if (!self->m_compositor || !self->m_shm || !self->m_layerShell) {
        return nullptr;
    }
    self->m_readable
        = std::make_unique<QSocketNotifier>(wl_display_get_fd(self->m_display), QSocketNotifier::Read);
    QObject::connect(self->m_readable.get(), &QSocketNotifier::activated, self->m_readable.get(),
        [raw = self.get()] { raw->readEvents(); });
    return self;
}

LayerShellPopoverSurface::~LayerShellPopoverSurface()
{
    m_readable.reset();
    destroySurface();
    if (m_pointer) {
        wl_pointer_destroy(m_pointer);
    }
    if (m_seat) {
        wl_seat_destroy(m_seat);
    }
    for (wl_output* output : m_outputs) {
        wl_output_destroy(output);
    }
    if (m_layerShell) {
        // Version 1 has no request that ends it: it is freed here alone.
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(m_layerShell));
    }
    if (m_shm) {
        wl_shm_destroy(m_shm);
    }
    if (m_compositor) {
        wl_compositor_destroy(m_compositor);
    }
    if (m_registry) {
        wl_registry_destroy(m_registry);
    }
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

bool LayerShellPopoverSurface::show(const QImage& picture, QPoint position, QSize screen)
{
    if (!m_display || m_closed || picture.isNull()) {
        return false;
    }
    destroySurface();
    const QSize size = surfaceSize(picture);
    const int width = size.width();
    const int height = size.height();
    createSurface(nullptr, size);
    // Held at the screen's nearer edges: the compositor keeps it off the zones that bars there
    // reserve, which the application cannot see on Wayland.
    const bool nearTop = position.y() + height / 2 <= screen.height() / 2;
    const bool nearLeft = position.x() + width / 2 <= screen.width() / 2;
    zwlr_layer_surface_v1_set_anchor(m_layerSurface,
        (nearTop ? ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP : ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM)
            | (nearLeft ? ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT : ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT));
    const auto margin = [](int value) { return std::max(0, value); };
    zwlr_layer_surface_v1_set_margin(m_layerSurface, nearTop ? margin(position.y()) : 0,
        nearLeft ? 0 : margin(screen.width() - position.x() - width),
        nearTop ? 0 : margin(screen.height() - position.y() - height), nearLeft ? margin(position.x()) : 0);
    return configure() && present(picture);
}

bool LayerShellPopoverSurface::showInMiddle(const QImage& picture, int screenIndex, double raise)
{
    if (!m_display || m_closed || picture.isNull() || screenIndex < 0
        || screenIndex >= static_cast<int>(m_outputs.size())) {
        return false;
    }
    destroySurface();
    wl_output* output = m_outputs[static_cast<std::size_t>(screenIndex)];
    const QSize area = freeArea(output);
    if (area.isEmpty()) {
        return false;
    }
    const QSize size = surfaceSize(picture);
    createSurface(output, size);
    zwlr_layer_surface_v1_set_anchor(
        m_layerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    const int top = qRound((area.height() - size.height()) / 2.0 - area.height() * raise);
    const int left = qRound((area.width() - size.width()) / 2.0);
    zwlr_layer_surface_v1_set_margin(m_layerSurface, std::max(0, top), 0, 0, std::max(0, left));
    // No input region: presses and the pointer's motion reach the window beneath.
    wl_region* nothing = wl_compositor_create_region(m_compositor);
    wl_surface_set_input_region(m_surface, nothing);
    wl_region_destroy(nothing);
    return configure() && present(picture);
}

QSize LayerShellPopoverSurface::freeArea(wl_output* output)
{
    // A surface held at all four edges with no size of its own is given the whole area that the
    // bars leave free. It is never shown.
    createSurface(output, QSize(0, 0));
    zwlr_layer_surface_v1_set_anchor(m_layerSurface,
        ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM
            | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    const bool configured = configure();
    const QSize area = configured ? m_configuredSize : QSize();
    destroySurface();
    return area;
}

int LayerShellPopoverSurface::bufferScale(const QImage& picture) const
{
    return m_compositorVersion >= 3 ? std::max(1, qRound(picture.devicePixelRatio())) : 1;
}

QSize LayerShellPopoverSurface::surfaceSize(const QImage& picture) const
{
    const int scale = bufferScale(picture);
    return { std::max(1, picture.width() / scale), std::max(1, picture.height() / scale) };
}

void LayerShellPopoverSurface::createSurface(wl_output* output, QSize size)
{
    m_surface = wl_compositor_create_surface(m_compositor);
    m_layerSurface = zwlr_layer_shell_v1_get_layer_surface(
        m_layerShell, m_surface, output, overlayLayer, "kiruvo-popover");
    zwlr_layer_surface_v1_add_listener(m_layerSurface, &Listeners::layerSurface, this);
    zwlr_layer_surface_v1_set_size(
        m_layerSurface, static_cast<uint32_t>(size.width()), static_cast<uint32_t>(size.height()));
    zwlr_layer_surface_v1_set_exclusive_zone(m_layerSurface, 0);
    zwlr_layer_surface_v1_set_keyboard_interactivity(m_layerSurface, noKeyboard);
}

bool LayerShellPopoverSurface::configure()
{
    // The first commit carries no buffer; the compositor answers it with the surface's configure.
    m_configured = false;
    wl_surface_commit(m_surface);
    if (wl_display_roundtrip(m_display) < 0) {
        lose();
        return false;
    }
    if (!m_configured || m_closed) {
        destroySurface();
        return false;
    }
    zwlr_layer_surface_v1_ack_configure(m_layerSurface, m_configureSerial);
    return true;
}

bool LayerShellPopoverSurface::present(const QImage& picture)
{
    if (m_compositorVersion >= 3) {
        wl_surface_set_buffer_scale(m_surface, bufferScale(picture));
    }
    wl_buffer* previous = m_buffer;
    m_buffer = nullptr;
    if (!attach(picture)) {
        m_buffer = previous;
        if (!previous) {
            destroySurface();
        }
        return false;
    }
    const QSize size = surfaceSize(picture);
    wl_surface_damage(m_surface, 0, 0, size.width(), size.height());
    wl_surface_commit(m_surface);
    // The compositor has the new picture: the old one's memory is never written again, so it may
    // go before the compositor lets it go.
    if (previous) {
        wl_buffer_destroy(previous);
    }
    if (wl_display_flush(m_display) < 0) {
        lose();
        return false;
    }
    return true;
}

bool LayerShellPopoverSurface::replacePicture(const QImage& picture)
{
    if (!m_display || m_closed || !m_surface || !m_buffer || picture.isNull()) {
        return false;
    }
    return present(picture);
}

bool LayerShellPopoverSurface::attach(const QImage& source)
{
    // ARGB8888 in the machine's byte order is the toolkit's premultiplied 32-bit form.
    const QImage picture = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int stride = static_cast<int>(picture.bytesPerLine());
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(picture.height());
    const int fd = memfd_create("kiruvo-popover", MFD_CLOEXEC);
    if (fd < 0) {
        log(LogLevel::Warning, lcDesktop(),
            std::string("Popover: no shared memory for its picture: ") + std::strerror(errno));
        return false;
    }
    bool done = false;
    if (ftruncate(fd, static_cast<off_t>(size)) == 0) {
        void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (memory != MAP_FAILED) {
            std::memcpy(memory, picture.constBits(), size);
            munmap(memory, size);
            wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, static_cast<int32_t>(size));
            m_buffer = wl_shm_pool_create_buffer(
                pool, 0, picture.width(), picture.height(), stride, WL_SHM_FORMAT_ARGB8888);
            wl_shm_pool_destroy(pool);
            wl_surface_attach(m_surface, m_buffer, 0, 0);
            done = true;
        }
    }
    if (!done) {
        log(LogLevel::Warning, lcDesktop(),
            std::string("Popover: its picture could not be shared: ") + std::strerror(errno));
    }
    close(fd);
    return done;
}

void LayerShellPopoverSurface::readEvents()
{
    if (wl_display_dispatch(m_display) < 0) {
        lose();
        return;
    }
    // The events may have asked for something (the seat's pointer, when one comes): sent now, not
    // whenever the popover next changes.
    flush();
}

void LayerShellPopoverSurface::flush()
{
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        lose();
    }
}

void LayerShellPopoverSurface::lose()
{
    // The compositor went: nothing is shown any more, and nothing more can be.
    m_readable.reset();
    if (!m_closed) {
        m_closed = true;
        later(m_alive, [this] {
            if (const auto callback = onClosed) {
                callback();
            }
        });
    }
}

void LayerShellPopoverSurface::destroySurface()
{
    m_pointerInside = false;
    if (m_layerSurface) {
        zwlr_layer_surface_v1_destroy(m_layerSurface);
        m_layerSurface = nullptr;
    }
    if (m_surface) {
        wl_surface_destroy(m_surface);
        m_surface = nullptr;
    }
    if (m_buffer) {
        wl_buffer_destroy(m_buffer);
        m_buffer = nullptr;
    }
    if (m_display) {
        wl_display_flush(m_display);
    }
}

} // namespace platform
