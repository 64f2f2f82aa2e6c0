#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <functional>
#include <optional>
#include <string>

namespace platform {

struct DBusServiceProbe;

// Whether a desktop service answers, learnt at start without waiting (DBusServiceProbe), for an
// idle backend choosing whether to be used. A service on the bus that sends nothing in time (a
// desktop busy at login) is not given up: it is asked again, each time waiting twice as long up to
// a minute, one call at a time, so that a hung one is asked at most once a minute, and counts as
// answering once it does. Main-thread only.
class DBusAvailabilityProbe {
public:
    // Why an answer cannot be used, or nothing when it can.
    using Check = std::function<std::optional<std::string>(const QDBusMessage& reply)>;
    // Whether the service answers: told when the first question has come to something, and again
    // when one asked again after it is answered.
    using Decided = std::function<void(bool answers)>;

    // The longest a question asked again may wait.
    static constexpr int longestTimeoutMs = 60000;

    // `description` names the service in the log.
    explicit DBusAvailabilityProbe(std::string description);
    DBusAvailabilityProbe(const DBusAvailabilityProbe&) = delete;
    DBusAvailabilityProbe& operator=(const DBusAvailabilityProbe&) = delete;

    // Asks `question`, first waiting `timeoutMs` for the answer.
    void ask(QDBusConnection connection, const QDBusMessage& question, int timeoutMs, Check check,
        Decided decided);
    // Until the first question has come to something.
    bool isAsking() const { return m_asking; }
    // The service came on the bus meanwhile and is used: nothing more is told, nothing asked again.
    void stop();

private:
    void send(int timeoutMs, bool again);
    void received(const DBusServiceProbe& probe, int timeoutMs, bool again);

    std::string m_description;
    QDBusConnection m_connection;
    QDBusMessage m_question;
    Check m_check;
    Decided m_decided;
    // Owns the calls on their way, so that none is heard once this is gone.
    QObject m_calls;
    // Counts the stops, so that what comes of a question asked before one is dropped.
    unsigned m_generation = 0;
    bool m_asking = false;
};

} // namespace platform
