#pragma once

#include <QObject>

namespace platform {

// Sleep, wake and the end of the application, as signals on the main thread.
//
// willSleep is emitted synchronously while the system still waits for us: every slot connected
// directly (the default for a receiver on the main thread) has returned before the system is let
// go to sleep, so a subscriber may store what it must keep. A queued connection gives no such
// promise.
//
// willTerminate is emitted at most once per object, whichever road ends the application first
// (a signal, logout, shutdown, the display's end, or the application's own quit).
//
// willExitAtOnce is emitted, at most once, when the process ends as soon as its subscribers return,
// without going back to the event loop (the display went away and Qt ends the process): whatever
// the application does once its event loop has ended must be done then. will-terminate has been
// delivered before it.
//
// Main-thread only.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    explicit SystemEvents(QObject* parent = nullptr);
    ~SystemEvents() override;

    bool hasDeliveredWillTerminate() const { return m_deliveredWillTerminate; }

    // The events of this process. The application installs its implementation at start-up, tests
    // install a fake; when nothing has been installed, the Linux implementation is created on
    // first use (it needs the QCoreApplication).
    static SystemEvents& shared();
    // Not owned; nullptr goes back to the Linux implementation on the next shared().
    static void setShared(SystemEvents* events);

Q_SIGNALS:
    void willSleep();
    void didWake();
    void willTerminate();
    void willExitAtOnce();

protected:
    void deliverWillSleep();
    void deliverDidWake();
    // Returns false (and emits nothing) when will-terminate has been delivered already.
    bool deliverWillTerminate();
    // Delivers will-terminate first when no road has yet.
    void deliverWillExitAtOnce();

private:
    bool m_deliveredWillTerminate = false;
    bool m_deliveredWillExitAtOnce = false;
};

} // namespace platform
