#include "kit/foundation/core/WindowInfo.h"
#include "platform/linux/X11Atom.h"
#include "platform/linux/X11WindowList.h"

#include "support/PrivateXServer.h"

#include <QtGlobal>
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Plays the window manager of an X server of the test's own for one window: creates it, describes
// it as a client would and lists it on the root window as a window manager does.
class ListedWindow {
public:
    explicit ListedWindow(const std::string& display)
    {
        m_connection = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection)) {
            return;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_root, 10, 20, 30, 40, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const std::string name = "Pause \u2014 test";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window,
            platform::internAtom(m_connection, "_NET_WM_NAME", false),
            platform::internAtom(m_connection, "UTF8_STRING", false), 8,
            static_cast<std::uint32_t>(name.size()), name.data());
        const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window,
            platform::internAtom(m_connection, "_NET_WM_PID", false), XCB_ATOM_CARDINAL, 32, 1, &pid);
        const char classes[] = "kiruvo-test\0KiruvoTest";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
            8, sizeof classes, classes);
        const std::uint32_t halfOpaque = 0x7fffffff;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window,
            platform::internAtom(m_connection, "_NET_WM_WINDOW_OPACITY", false), XCB_ATOM_CARDINAL, 32, 1,
            &halfOpaque);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_root,
            platform::internAtom(m_connection, "_NET_CLIENT_LIST", false), XCB_ATOM_WINDOW, 32, 1, &m_window);
        xcb_map_window(m_connection, m_window);
        free(xcb_get_input_focus_reply(
            m_connection, xcb_get_input_focus(m_connection), nullptr)); // a round trip
    }
    ~ListedWindow() { xcb_disconnect(m_connection); }
    ListedWindow(const ListedWindow&) = delete;
    ListedWindow& operator=(const ListedWindow&) = delete;

    bool isValid() const { return !xcb_connection_has_error(m_connection); }
    std::uint32_t window() const { return m_window; }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_window_t m_window = 0;
};

// The root window's list of clients, as a window manager keeps it.
std::vector<xcb_window_t> clientList(xcb_connection_t* connection, xcb_window_t root)
{
    auto* reply = xcb_get_property_reply(connection,
        xcb_get_property(connection, 0, root, platform::internAtom(connection, "_NET_CLIENT_LIST", false),
            XCB_ATOM_WINDOW, 0, 1024),
        nullptr);
    std::vector<xcb_window_t> windows;
    if (reply && reply->format == 32) {
        const auto* values = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        windows.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return windows;
}

class ScopedDisplay {
public:
    explicit ScopedDisplay(const std::string& display)
        : m_old(qgetenv("DISPLAY"))
        , m_wasSet(qEnvironmentVariableIsSet("DISPLAY"))
    {
        qputenv("DISPLAY", display.c_str());
    }
    ~ScopedDisplay()
    {
        if (m_wasSet) {
            qputenv("DISPLAY", m_old);
        } else {
            qunsetenv("DISPLAY");
        }
    }

private:
    QByteArray m_old;
    bool m_wasSet;
};

class ScopedWayland {
public:
    explicit ScopedWayland(const char* value)
        : m_old(qgetenv("WAYLAND_DISPLAY"))
        , m_wasSet(qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
    {
        if (value) {
            qputenv("WAYLAND_DISPLAY", value);
        } else {
            qunsetenv("WAYLAND_DISPLAY");
        }
    }
    ~ScopedWayland()
    {
        if (m_wasSet) {
            qputenv("WAYLAND_DISPLAY", m_old);
        } else {
            qunsetenv("WAYLAND_DISPLAY");
        }
    }

private:
    QByteArray m_old;
    bool m_wasSet;
};

} // namespace

TEST(WindowInfoTest, EqualityIsTheIdentifierAlone)
{
    zk::WindowInfo a;
    a.identifier = 7;
    a.name = "one";
    zk::WindowInfo b = a;
    b.name = "another";
    b.bounds = QRect(1, 2, 3, 4);
    EXPECT_EQ(a, b);
    b.identifier = 8;
    EXPECT_NE(a, b);
}

// Lists a window on an X server of its own, so that the window manager's list of the display the
// tests run on (a developer's desktop) is never replaced, and reads it back.
void describeAListedWindow()
{
    PrivateXServer server;
    if (!server.isRunning()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    ScopedWayland x11Session(nullptr);
    ScopedDisplay display(server.display());
    ListedWindow listed(server.display());
    ASSERT_TRUE(listed.isValid());

    const auto windows = zk::WindowInfo::list();
    ASSERT_TRUE(windows.has_value());
    const auto found = std::find_if(windows->begin(), windows->end(),
        [&](const zk::WindowInfo& info) { return info.identifier == listed.window(); });
    ASSERT_NE(found, windows->end());
    EXPECT_EQ(found->name, "Pause \u2014 test");
    EXPECT_EQ(found->owner.processIdentifier, ::getpid());
    EXPECT_FALSE(found->owner.name.empty());
    EXPECT_EQ(found->owner.bundleIdentifier, "KiruvoTest");
    EXPECT_EQ(found->bounds, QRect(10, 20, 30, 40));
    EXPECT_NEAR(found->alpha, 0.5, 0.001);
    EXPECT_EQ(found->layer, 0);
    EXPECT_TRUE(found->isOnScreen);
    EXPECT_EQ(found->sharingState, zk::WindowInfo::SharingState::readOnly);
}

TEST(WindowInfoTest, OnX11TheWindowManagersClientListIsDescribed)
{
    describeAListedWindow();
}

TEST(WindowInfoTest, TheClientListOfTheDisplayTheTestsRunOnIsLeftAlone)
{
    // A desktop whose window manager lists one window of its own.
    PrivateXServer desktop;
    if (!desktop.isRunning()) {
        GTEST_SKIP() << "Xvfb is not available";
    }
    xcb_connection_t* connection = desktop.connection();
    const xcb_window_t managed = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, managed, desktop.root(), 0, 0, 10, 10, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, desktop.root(),
        platform::internAtom(connection, "_NET_CLIENT_LIST", false), XCB_ATOM_WINDOW, 32, 1, &managed);
    xcb_flush(connection);
    {
        ScopedDisplay onTheDesktop(desktop.display());
        describeAListedWindow();
    }
    EXPECT_EQ(clientList(connection, desktop.root()), std::vector<xcb_window_t> { managed });
}

TEST(WindowInfoTest, AWaylandSessionHasNoListAndNeitherHasANonexistentDisplay)
{
    {
        ScopedWayland wayland("wayland-0");
        EXPECT_EQ(zk::WindowInfo::list(), std::nullopt);
    }
    EXPECT_EQ(platform::x11ClientWindows(":9999"), std::nullopt);
}
