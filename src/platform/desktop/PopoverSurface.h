#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

#include <functional>
#include <memory>

namespace platform {

// A popover's picture shown above every window at a point of the screen, which never takes the
// keyboard focus. On Wayland an application can neither place a window of its own nor keep a new
// one from taking the focus: sway tiles and focuses it, so a tip would move the user's typing into
// itself. Where the compositor offers the layer shell (sway and other wlroots compositors, KWin,
// Hyprland), the picture is a surface of its overlay layer that no keyboard reaches; create()
// gives none elsewhere (X11, where a tool tip window does all this, and Wayland compositors
// without the layer shell), and the caller shows a window of its own.
//
// Main-thread only.
class PopoverSurface {
public:
    virtual ~PopoverSurface() = default;

    // Shows `picture`, drawn at its device pixel ratio (a whole number), with its top left corner
    // at `position` on a screen of size `screen`, the output the compositor chooses (the one in
    // use); the compositor keeps it off its bars. Returns false when the compositor refused it or
    // went away; nothing is shown then.
    virtual bool show(const QImage& picture, QPoint position, QSize screen) = 0;
    // Shows `picture` on the screen at `screenIndex` in the display's order of screens, centred in
    // the area its bars leave free and raised by `raise` times that area's height. The pointer
    // passes through it to whatever lies beneath, and it takes no presses. Returns false when the
    // compositor refused it, has no such screen, or went away; nothing is shown then.
    virtual bool showInMiddle(const QImage& picture, int screenIndex, double raise) = 0;
    // Shows `picture`, of the size shown, in place of the picture shown; false when nothing is shown.
    virtual bool replacePicture(const QImage& picture) = 0;

    // A press of a pointer button on the picture.
    std::function<void()> onClick;
    // The compositor has taken the picture away (its output went); it is not shown again.
    std::function<void()> onClosed;

    // A surface on the application's display where it needs one, else none.
    static std::unique_ptr<PopoverSurface> create();
};

} // namespace platform
