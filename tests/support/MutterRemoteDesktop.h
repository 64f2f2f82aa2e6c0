#pragma once

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <string>

// A user at a headless Mutter: pointer motion and key presses through a session of Mutter's
// org.gnome.Mutter.RemoteDesktop, as GNOME Remote Desktop sends them. Each call waits for Mutter's
// answer, so the input has reached it when the call returns.
class MutterRemoteDesktop {
public:
    static constexpr const char* serviceName = "org.gnome.Mutter.RemoteDesktop";

    explicit MutterRemoteDesktop(QDBusConnection connection);
    // Stops the session, when Mutter is still there.
    ~MutterRemoteDesktop();
    MutterRemoteDesktop(const MutterRemoteDesktop&) = delete;
    MutterRemoteDesktop& operator=(const MutterRemoteDesktop&) = delete;

    // Creates and starts a session; false with the reason in `error`.
    bool start(std::string* error);
    // Moves the pointer a little and back; false when Mutter did not take it.
    bool movePointer();
    // Presses and releases the key of this evdev key code.
    bool pressKey(std::uint32_t evdevKey);

private:
    // Calls `method` of the session and waits for the answer; an error is kept in m_error.
    bool callSession(const QString& method, const QVariantList& arguments);

    QDBusConnection m_connection;
    QString m_session;
    std::string m_error;
};
