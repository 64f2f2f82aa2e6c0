#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <memory>
#include <string>

// An X server of the test's own (Xvfb on a free display number), so that key grabs and XTest input
// never meet another test's, and a client connection to it that sends keys through XTest.
class PrivateXServer {
public:
    // The screen's size as Xvfb takes it ("320x240").
    explicit PrivateXServer(const char* screenSize = "320x240")
    {
        // Xvfb picks a free display itself and writes its number once it accepts clients: a number
        // picked here could be taken by a parallel test between the look and the server's start,
        // and the client would then reach that test's server.
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.start(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QString::fromLatin1(screenSize) + QStringLiteral("x24"),
                QStringLiteral("-nolisten"), QStringLiteral("tcp") });
        // Generous: a loaded machine (or a sanitizer build beside it) starts the server slowly.
        const QDeadlineTimer deadline(60000);
        if (!m_server.waitForStarted(int(deadline.remainingTime()))) {
            return;
        }
        while (!m_server.canReadLine() && m_server.state() == QProcess::Running && !deadline.hasExpired()) {
            m_server.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 1000)));
        }
        bool isNumber = false;
        const int number = QString::fromLatin1(m_server.readLine()).trimmed().toInt(&isNumber);
        if (isNumber && m_server.state() == QProcess::Running) {
            m_display = ":" + std::to_string(number);
            xcb_connection_t* connection = xcb_connect(m_display.c_str(), nullptr);
            if (!xcb_connection_has_error(connection)) {
                m_connection = connection;
            } else {
                xcb_disconnect(connection);
            }
        }
        if (!m_connection) {
            m_server.kill();
            m_server.waitForFinished();
            return;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }

    ~PrivateXServer()
    {
        if (m_connection) {
            xcb_disconnect(m_connection);
        }
        m_server.terminate();
        if (!m_server.waitForFinished(3000)) {
            m_server.kill();
            m_server.waitForFinished();
        }
    }

    bool isRunning() const { return m_connection != nullptr; }
    const std::string& display() const { return m_display; }
    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    // Waits until a window manager started on this server manages windows: naming itself on the root
    // window is not enough, as openbox drops the map requests that come while it starts. A window of
    // its own is mapped, again now and then, until the manager has taken it (set its WM_STATE).
    bool waitForWindowManager(int timeoutMs)
    {
        const xcb_window_t probe = xcb_generate_id(m_connection);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, probe, m_root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_intern_atom_reply_t* atom
            = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, 8, "WM_STATE"), nullptr);
        const xcb_atom_t state = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(atom);
        const QDeadlineTimer deadline(timeoutMs);
        bool managed = false;
        while (!managed && !deadline.hasExpired()) {
            xcb_map_window(m_connection, probe);
            const QDeadlineTimer again(500);
            while (!managed && !again.hasExpired()) {
                xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection,
                    xcb_get_property(m_connection, 0, probe, state, XCB_GET_PROPERTY_TYPE_ANY, 0, 2),
                    nullptr);
                managed = reply && xcb_get_property_value_length(reply) > 0;
                free(reply);
                if (!managed) {
                    QThread::msleep(20);
                }
            }
        }
        xcb_destroy_window(m_connection, probe);
        xcb_flush(m_connection);
        return managed;
    }

    // Presses or releases the key with this X key code, as the keyboard would.
    void key(bool press, std::uint8_t keyCode)
    {
        xcb_test_fake_input(m_connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keyCode, XCB_CURRENT_TIME,
            XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }
    // Presses the modifiers' keys, then taps the key, then lets go of the modifiers.
    void tap(std::uint8_t keyCode, std::initializer_list<std::uint8_t> modifierKeys = {})
    {
        for (const std::uint8_t modifier : modifierKeys) {
            key(true, modifier);
        }
        key(true, keyCode);
        key(false, keyCode);
        for (const std::uint8_t modifier : modifierKeys) {
            key(false, modifier);
        }
        // Waits until the server has handled them.
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    // X key codes of a PC keyboard (evdev + 8).
    static constexpr std::uint8_t leftControl = 37;
    static constexpr std::uint8_t leftAlt = 64;
    static constexpr std::uint8_t leftShift = 50;
    static constexpr std::uint8_t leftSuper = 133;
    static constexpr std::uint8_t numLock = 77;

private:
    QProcess m_server;
    std::string m_display;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
};
