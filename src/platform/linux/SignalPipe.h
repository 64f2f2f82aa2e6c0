#pragma once

#include <QObject>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace platform {

// Turns POSIX signals into a Qt signal on the main thread: the handler only writes the signal's
// number into one end of a socket pair (async-signal-safe), and a socket notifier reads the other
// end in the event loop. A signal that arrives before the event loop runs waits in the pipe.
//
// One instance per process at a time (a second one watches nothing and says so in the log); the
// previous handlers are put back when it is destroyed. Main-thread only.
class SignalPipe : public QObject {
    Q_OBJECT
public:
    explicit SignalPipe(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalPipe() override;

    // False when the socket pair or a handler could not be set up.
    bool isWatching() const { return !m_installed.empty(); }

    // Delivers the signals that wait in the watching pipe, if any, now: for a main thread that is
    // handed work faster than it returns to the event loop, where the notifier would wait behind
    // it all.
    static void deliverPending();

Q_SIGNALS:
    void signalReceived(int signalNumber);

private:
    void readPending();

    int m_fds[2] = { -1, -1 };
    QSocketNotifier* m_notifier = nullptr;
    struct Installed;
    std::vector<Installed> m_installed;
};

} // namespace platform
