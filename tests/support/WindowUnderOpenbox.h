#pragma once

#include "XTestUser.h"

#include <QPoint>

#include <cstdint>
#include <initializer_list>
#include <string>

class QWidget;

// What a user does to one of our windows on a real X server with a window manager (see
// OpenboxSession), through XTest, and what came of it, in words for the parent's comparison. Each
// step returns once the application and the window manager have handled what it sent.
class WindowUnderOpenbox {
public:
    explicit WindowUnderOpenbox(QWidget& window);

    // Waits until the window manager manages the window and has made it the active window.
    bool waitUntilManagedAndActive();
    // A click (press and release together) on the window at `point` (its own coordinates), then the
    // pointer moved away: "window stays" or "window follows the pointer", and whether the window
    // manager is left holding the pointer.
    std::string clickOnBackground(QPoint point);
    // A drag from `point` by `by`, first a little (below the drag distance), then the rest:
    // "window moved with the pointer" or where it went.
    std::string dragOnBackground(QPoint point, QPoint by);
    // Taps the key (X key symbols) and returns once the application has seen it.
    bool tap(std::uint32_t keySymbol, std::initializer_list<std::uint32_t> modifierSymbols = {});
    // What the window manager adds around the window: "no frame" or its extents.
    std::string frame();

    XTestUser& user() { return m_user; }
    // Returns once the application and the window manager have handled everything sent so far.
    void settle();

private:
    QPoint position();
    std::string pointerHolder();

    QWidget& m_window;
    XTestUser m_user;
};
