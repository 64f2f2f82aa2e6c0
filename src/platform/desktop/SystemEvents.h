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
// (a signal, logout, shutdown, or the application's own quit).
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

protected:
    void deliverWillSleep();
    void deliverDidWake();
    // Returns false (and emits nothing) when will-terminate has been delivered already.
    bool deliverWillTerminate();

private:
    bool m_deliveredWillTerminate = false;
};

} // namespace platform
