#pragma once

#include "app/intents/IntentHandlers.h"
#include "app/intents/Intents.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <qcoro/qcorofwd.h>

#include <functional>
#include <memory>

namespace kiruvo {

// The scripting interface on D-Bus: one method per intent. Each call builds the intent, waits for
// its turn in the connection's platform::BusCallQueue (one call at a time with every other object's
// on the connection, callers taking turns, a few dozen waiting per caller at most, refused and never
// carried out when its turn has not come within seconds), asks the handler lookup for its
// handler and answers once the handler has completed on the main thread, without blocking the event loop
// meanwhile. Every answer starts with the response code (int32); then come the response's properties. A call
// that only asks, sent by a caller that wants no answer, is not worked on at all; one that changes something
// is carried out and not answered.
//
// A session travels as a{sv}: "identifier", "displayString", "subtitleString" (s), "duration"
// (d, seconds) and "startDate"/"endDate" (a{sv} of date components: "year", "month", "day",
// "hour", "minute", "second", "nanosecond", "weekday" as i, "timeZone" as its identifier s).
//
// Attach it to the object exported at objectPath (see registerIntentsObject()). Main-thread only.
class IntentsDBusAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zelvantorium.Kiruvo.Intents")
    // Written out so that the code, which the slots give as their return value, has its name.
    Q_CLASSINFO("D-Bus Introspection",
        "  <interface name=\"com.zelvantorium.Kiruvo.Intents\">\n"
        "    <method name=\"GetEnabledState\">\n"
        "      <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "      <arg name=\"isEnabled\" type=\"b\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"SetEnabledState\">\n"
        "      <arg name=\"operation\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"state\" type=\"i\" direction=\"in\"/>\n"
        "      <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"GetCurrentSession\">\n"
        "      <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "      <arg name=\"currentSession\" type=\"a{sv}\" direction=\"out\"/>\n"
        "      <annotation name=\"org.qtproject.QtDBus.QtTypeName.Out1\" value=\"QVariantMap\"/>\n"
        "    </method>\n"
        "    <method name=\"NewSession\">\n"
        "      <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "    </method>\n"
        "    <method name=\"GetSessions\">\n"
        "      <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "      <arg name=\"sessions\" type=\"aa{sv}\" direction=\"out\"/>\n"
        "      <annotation name=\"org.qtproject.QtDBus.QtTypeName.Out1\" "
        "value=\"QList&lt;QVariantMap&gt;\"/>\n"
        "    </method>\n"
        "    <method name=\"GetTotalDurationToday\">\n"
        "      <arg name=\"code\" type=\"i\" direction=\"out\"/>\n"
        "      <arg name=\"result\" type=\"d\" direction=\"out\"/>\n"
        "    </method>\n"
        "  </interface>\n")
public:
    static constexpr const char* serviceName = "com.zelvantorium.Kiruvo";
    static constexpr const char* objectPath = "/com/zelvantorium/Kiruvo";
    static constexpr const char* interfaceName = "com.zelvantorium.Kiruvo.Intents";

    // Gives the handler of one call; nothing for an intent without one.
    using HandlerLookup = std::function<std::unique_ptr<IntentHandler>(const Intent& intent)>;

    // Answers calls that arrive on `connection`.
    IntentsDBusAdaptor(QObject* host, QDBusConnection connection);
    ~IntentsDBusAdaptor() override;

    // Where every call gets its handler: the application delegate's lookup. Until one is set, or
    // after an empty one, calls are answered "No handler.".
    static void setHandlerLookup(HandlerLookup lookup);
    static std::unique_ptr<IntentHandler> handlerFor(const Intent& intent);

public Q_SLOTS:
    // The return value and the out arguments only describe the answer's signature; the answer
    // itself is sent later, when the handler has completed.
    int GetEnabledState(const QDBusMessage& message, bool& isEnabled);
    // An operation or a state outside 0 to 2 answers `unspecified` (0) and changes nothing.
    int SetEnabledState(int operation, int state, const QDBusMessage& message);
    // An empty dictionary when no session runs.
    int GetCurrentSession(const QDBusMessage& message, QVariantMap& currentSession);
    int NewSession(const QDBusMessage& message);
    int GetSessions(const QDBusMessage& message, QList<QVariantMap>& sessions);
    int GetTotalDurationToday(const QDBusMessage& message, double& result);

private:
    QDBusConnection m_connection;
};

// Exports the scripting interface at IntentsDBusAdaptor::objectPath on `connection`. When an object
// is already exported there (with its adaptors), the interface joins it; otherwise a new object
// owned by the application is exported. False, with one log line for the process, when the
// connection is not connected or the path cannot be taken: the application runs on without
// scripting.
bool registerIntentsObject(QDBusConnection connection);

// registerIntentsObject() on the session bus, then the well-known name
// IntentsDBusAdaptor::serviceName, asked for without waiting. False, logged once, when there is no
// session bus, the object cannot be exported, or another process holds the name.
QCoro::Task<bool> registerIntentsService(QDBusConnection connection = QDBusConnection::sessionBus());

} // namespace kiruvo
