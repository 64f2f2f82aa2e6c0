#pragma once

namespace platform {

// Whether the desktop blends the transparent pixels of a window with what lies beneath it. Only a
// compositor does: every Wayland desktop, and on X11 a compositing manager, which owns the
// _NET_WM_CM_S<screen> selection while it runs. Without one an X server shows those pixels black,
// so a window with rounded corners must cut them out of its shape instead. Asked afresh at each
// call, as a compositor can start or end at any time. Main-thread only.
class WindowTranslucency {
public:
    static bool isAvailable();
    // Whether the display shows a whole window at part opacity (QWidget::setWindowOpacity). X11
    // does, through the window's opacity property; Wayland has no protocol for it, and Qt's plugin
    // there only warns at each change.
    static bool showsWindowOpacity();
};

} // namespace platform
