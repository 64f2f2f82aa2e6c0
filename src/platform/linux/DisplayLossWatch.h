#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace platform {

// Tells when the display the application is shown on goes away: the X server or the Wayland
// compositor ended (a logout, a crash). Qt's platform plugin then ends the process itself, with
// exit() or _exit() right after saying so in a warning, and never returns to the event loop; that
// warning is the last moment anything of ours can run. The watch follows Qt's messages and, when
// Qt's connection to that display has really failed (QtDisplayConnection), emits displayLost() on
// the main thread, synchronously: once its subscribers return, the plugin ends the process. A
// plugin thread that says so first waits (a few seconds at most) until the main thread has told.
// The same words logged by anyone else while the display lives change nothing.
//
// One instance per process at a time (a second one watches nothing and says so in the log); the
// message handler it replaces still gets every message, and is put back when it is destroyed.
// Main-thread only.
class DisplayLossWatch : public QObject {
    Q_OBJECT
public:
    enum class Display { x11, wayland };
    // Whether Qt's connection to a display has failed. Called on the thread that logged.
    using FailureCheck = std::function<bool(Display display)>;

    explicit DisplayLossWatch(QObject* parent = nullptr);
    ~DisplayLossWatch() override;

    bool isWatching() const { return m_watching; }

    // The display whose connection a message of Qt's says broke; nothing for any other message.
    static std::optional<Display> lostDisplayIn(const QString& message);
    static bool saysDisplayIsLost(const QString& message) { return lostDisplayIn(message).has_value(); }
    // Watches made from now on ask `check` rather than Qt's connection; empty goes back to Qt's.
    static void setFailureCheckForTesting(FailureCheck check);
    // Tells the installed watch, as Qt's message would, that a display connection of our own broke
    // and the process ends next (Xlib's I/O error); returns once the main thread has told. Any
    // thread.
    static void tellConnectionBroke();

Q_SIGNALS:
    // At most once per watch.
    void displayLost();

private:
    friend struct DisplayLossReport;
    void tell();

    bool m_watching = false;
    bool m_told = false;
    // Set before the watch is installed, never changed after.
    FailureCheck m_hasFailed;
};

} // namespace platform
