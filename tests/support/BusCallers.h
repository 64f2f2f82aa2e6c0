#pragma once

#include <QList>
#include <QProcess>
#include <QString>

// Other programs on a test's bus that call one method of a service as fast as they can and never
// read what comes back: bus_callers.py under python3 with python3-dbus, each caller a connection
// of its own. The process ends with this object.
class BusCallers {
public:
    struct Call {
        QString destination;
        QString path;
        QString interface;
        QString method;
        QList<int> arguments;
        // Sent with the flag that says no answer is wanted.
        bool noReply = false;
        // String arguments, after the int32 ones.
        QList<QString> strings {};
        // When set, each caller then sends one call of this method (on this interface) with no
        // answer wanted, and the callers leave the bus at once.
        QString thenLeaveInterface {};
        QString thenLeaveMethod {};
    };

    // What the callers read of what comes for them.
    enum class Reads {
        // What libdbus reads while it waits for the bus to take more of their calls, until told to
        // read (startReading()).
        whileSending,
        // Nothing at all, ever: calls without arguments, on a unix socket bus.
        never,
    };

    // `callsEach` calls from each of `callers` callers; with 0, calls for `seconds`.
    BusCallers(const QString& busAddress, const Call& call, int callers, int callsEach, double seconds = 0,
        Reads reads = Reads::whileSending);
    ~BusCallers();
    BusCallers(const BusCallers&) = delete;
    BusCallers& operator=(const BusCallers&) = delete;

    // False (and the test should skip) when python3 with its D-Bus module is missing.
    static bool available();

    // Serves this thread's events until every call has been sent (the callers' process says so);
    // how many were sent, or -1 when the process ended or `timeoutMs` passed first.
    int serveUntilSent(int timeoutMs = 60000);
    // The same with this thread busy meanwhile: it serves no event, as a main thread at work.
    int waitUntilSent(int timeoutMs = 60000);
    // The callers read what has come for them, and go on reading.
    void startReading();

private:
    QProcess m_process;
    QString m_output;
};
