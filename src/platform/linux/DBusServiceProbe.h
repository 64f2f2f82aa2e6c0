#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <functional>
#include <string>

namespace platform {

// The first question a backend asks a desktop service to learn whether it answers, sent without
// waiting so that start-up goes on meanwhile.
struct DBusServiceProbe {
    // The service's reply, or an error when it sent none in time.
    QDBusMessage reply;
    // When the call failed: its error name and message.
    std::string error;
    // When the call failed: whether the name had no owner on the bus then, so the service may still
    // come (the desktop's shell starting after this application) rather than have failed.
    bool absent = false;

    bool answered() const { return reply.type() == QDBusMessage::ReplyMessage; }
    // Whether the service is on the bus but sent nothing in time (a desktop busy at login, say).
    bool timedOut() const
    {
        return !answered() && !absent
            && reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply");
    }

    // Sends `question` and hands what came of it to `done` on this thread, unless `context` is gone
    // by then. A failed call is followed by a question to the bus whether the name has an owner,
    // also without waiting; `timeoutMs` bounds each call.
    static void send(QDBusConnection connection, const QDBusMessage& question, int timeoutMs,
        QObject* context, std::function<void(const DBusServiceProbe&)> done);
};

} // namespace platform
