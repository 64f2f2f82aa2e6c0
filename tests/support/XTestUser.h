#pragma once

#include <QDeadlineTimer>
#include <QPoint>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// A user at the X server named by DISPLAY: moves the pointer, presses buttons and keys through
// XTest, and asks the server and the window manager what they did with a window. It has a
// connection of its own, as a second program would.
class XTestUser {
public:
    XTestUser();
    ~XTestUser();
    XTestUser(const XTestUser&) = delete;
    XTestUser& operator=(const XTestUser&) = delete;

    bool isConnected() const { return m_connection != nullptr; }

    void moveTo(QPoint rootPosition);
    void button(bool press, std::uint8_t button = 1);
    // Presses the modifiers' keys, taps the key, lets go of the modifiers (X key symbols).
    void tap(std::uint32_t keySymbol, std::initializer_list<std::uint32_t> modifierSymbols = {});
    // Returns once the server has handled everything sent so far.
    void sync();
    // Returns once the window manager has handled every event the server gave it before the call:
    // it is asked for a change it answers in a property (the number of desktops, set back after).
    bool windowManagerRoundTrip(int timeoutMs);
    // Shows another workspace, as a pager does (the window manager unmaps the windows of the one
    // left), adding it if the desktop has too few; returns once the window manager has switched.
    bool switchToDesktop(std::uint32_t desktop, int timeoutMs);

    // Whether another client (the window manager moving a window) holds the pointer.
    bool pointerIsGrabbedByAnother();
    // Where the window's top-left corner is on the screen.
    std::optional<QPoint> rootPosition(xcb_window_t window);
    // What the window manager adds around the window (left, right, top, bottom).
    std::vector<std::uint32_t> frameExtents(xcb_window_t window);
    // Whether the window manager lists the window among the ones it manages.
    bool isManaged(xcb_window_t window);
    // The state the window manager gives the window in its WM_STATE: "normal", "iconic",
    // "withdrawn" or "none".
    std::string wmState(xcb_window_t window);

private:
    xcb_atom_t atom(const char* name);
    // Asks the window manager to set a root window property it owns, and waits until it has.
    bool askWindowManager(xcb_atom_t property, std::uint32_t wanted, const QDeadlineTimer& deadline);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t property);
    void key(bool press, std::uint32_t keySymbol);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_key_symbols_t* m_symbols = nullptr;
};
