#include "app/intents/IntentsDBusAdaptor.h"

#include "app/intents/DBusHostObject.h"

#include "app/intents/IntentResponses.h"
#include "app/intents/Intents.h"
#include "app/intents/SessionListArgument.h"
#include "platform/FreedMemory.h"
#include "platform/Logger.h"
#include "platform/linux/BusCallQueue.h"
#include "platform/linux/BusDaemon.h"
#include "platform/linux/IntrospectionInTurn.h"
#include "platform/linux/MarshalledSize.h"
#include "platform/time/Calendar.h"

#include <QCoreApplication>
#include <QCoro/QCoroDBusPendingCall>
#include <QCoro/QCoroTask>
#include <QDBusError>
#include <QDBusMetaType>
#include <QTimer>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace kiruvo {

namespace {

// Time for the connection to write a large answer out before its memory is given back.
constexpr int releaseDelayMilliseconds = 1000;

// Scripting is optional: one line in the log says why it is missing, however often it is tried.
void reportUnavailableOnce(const std::string& reason)
{
    static std::once_flag once;
    std::call_once(once, [&reason] {
        platform::log(platform::LogLevel::Warning, platform::lcEngine(),
            "Scripting over D-Bus is not available: " + reason + ". Kiruvo runs on without it.");
    });
}

QString qString(const std::optional<std::string>& text)
{
    return text ? QString::fromStdString(*text) : QString();
}

QVariantMap objectMap(const IntentObject& object, std::optional<double> duration)
{
    QVariantMap map;
    map.insert(QStringLiteral("identifier"), qString(object.identifier()));
    map.insert(QStringLiteral("displayString"), QString::fromStdString(object.displayString()));
    map.insert(QStringLiteral("subtitleString"), qString(object.subtitleString()));
    map.insert(QStringLiteral("duration"), duration.value_or(0.0));
    return map;
}

QVariantMap currentSessionMap(const CurrentSession_& session)
{
    QVariantMap map = objectMap(session, session.duration);
    if (session.startDate) {
        map.insert(QStringLiteral("startDate"), dateComponentsValue(*session.startDate));
    }
    return map;
}

IntentsDBusAdaptor::HandlerLookup& installedLookup()
{
    static IntentsDBusAdaptor::HandlerLookup lookup;
    return lookup;
}

// A history too large for one D-Bus message: sent, it would make the bus daemon disconnect the
// application, which would lose scripting, the status item and its name for the rest of the
// session. The caller is told instead; the log says it once per size of history, as a script
// that asks in a loop would otherwise fill it.
QDBusMessage historyTooLargeForOneAnswer(
    const QDBusMessage& call, const GetSessionsIntentResponse& response, std::uint64_t length)
{
    const std::size_t count = response.sessions ? response.sessions->size() : 0;
    const QString why
        = QStringLiteral("the history's %1 sessions would take %2 bytes, more than the %3 (%4 MiB) "
                         "one D-Bus answer may carry")
              .arg(count)
              .arg(length)
              .arg(SessionListArgument::maximumLength)
              .arg(SessionListArgument::maximumLength >> 20);
    static std::size_t reportedCount = 0;
    if (std::exchange(reportedCount, count) != count) {
        platform::log(platform::LogLevel::Warning, platform::lcEngine(),
            "GetSessions is answered with an error: " + why.toStdString() + ".");
    }
    return call.createErrorReply(
        QDBusError::LimitsExceeded, QStringLiteral("The sessions do not fit in one answer: %1.").arg(why));
}

// Sends `answer` on `connection`; its size.
std::int64_t send(const QDBusConnection& connection, const QDBusMessage& answer)
{
    connection.send(answer);
    return platform::marshalledSize(answer);
}

// Answers the call with the handler's response: its code, then its properties. The size of what it
// sent.
template <class ResponseType>
std::int64_t reply(const QDBusConnection& connection, const QDBusMessage& message,
    const std::shared_ptr<const IntentResponse>& response,
    const std::function<QVariantList(const std::shared_ptr<const ResponseType>&)>& properties)
{
    const auto typed = std::dynamic_pointer_cast<const ResponseType>(response);
    if (!typed) {
        return send(
            connection, message.createErrorReply(QDBusError::InternalError, QStringLiteral("No response.")));
    }
    QVariantList arguments { QVariant::fromValue(static_cast<int>(typed->rawCode())) };
    if constexpr (std::is_same_v<ResponseType, GetSessionsIntentResponse>) {
        // The sessions are marshalled from the response itself, in a layout of their own; their
        // size, reckoned once, both bounds the answer and counts it, beside the rest of the reply.
        const std::uint64_t length = SessionListArgument { typed }.marshalledLength();
        if (length > SessionListArgument::maximumLength) {
            return send(connection, historyTooLargeForOneAnswer(message, *typed, length));
        }
        const std::int64_t restBytes = platform::marshalledSize(message.createReply(arguments));
        arguments.append(properties(typed));
        connection.send(message.createReply(arguments));
        // The array's length field and its padding, then the list.
        return restBytes + 8 + static_cast<std::int64_t>(length);
    }
    arguments.append(properties(typed));
    return send(connection, message.createReply(arguments));
}

using Effect = platform::BusCallQueue::Effect;

// Queues the call for its handler and answers it when the handler completes. A call whose arguments
// are not the method's declared ones is refused: the bus delivers a method with a QDBusMessage
// parameter whatever arguments come with it.
template <class ResponseType>
void dispatch(const QDBusConnection& connection, const QDBusMessage& message, const char* signature,
    Effect effect, std::shared_ptr<const Intent> intent,
    std::function<QVariantList(const std::shared_ptr<const ResponseType>&)> properties,
    std::function<void()> afterReply = {})
{
    message.setDelayedReply(true);
    if (message.signature() != QLatin1String(signature)) {
        connection.send(message.createErrorReply(QDBusError::InvalidArgs,
            QStringLiteral("%1 takes the arguments \"%2\", not \"%3\".")
                .arg(message.member(), QLatin1String(signature), message.signature())));
        return;
    }
    if (!message.isReplyRequired() && effect == Effect::none) {
        return;
    }
    const bool queued
        = platform::BusCallQueue::of(connection)
              .enqueue(
                  message.service(),
                  [connection, message, intent = std::move(intent), properties = std::move(properties),
                      afterReply = std::move(afterReply)](platform::BusCallQueue::Answered answered) mutable {
                      const auto handler = IntentsDBusAdaptor::handlerFor(*intent);
                      if (!handler) {
                          answered(send(connection,
                              message.createErrorReply(
                                  QDBusError::NotSupported, QStringLiteral("No handler."))));
                          return;
                      }
                      handler->handle(std::move(intent),
                          [connection, message, properties = std::move(properties),
                              afterReply = std::move(afterReply), answered = std::move(answered)](
                              std::shared_ptr<const IntentResponse> response) {
                              if (!message.isReplyRequired()) {
                                  answered(0);
                                  return;
                              }
                              const std::int64_t bytes
                                  = reply<ResponseType>(connection, message, response, properties);
                              if (afterReply) {
                                  afterReply();
                              }
                              answered(bytes);
                          });
                  },
                  platform::BusCallQueue::refusalOf(connection, message));
    if (!queued) {
        platform::BusCallQueue::refuse(connection, message);
    }
}

} // namespace

void IntentsDBusAdaptor::setHandlerLookup(HandlerLookup lookup)
{
    installedLookup() = std::move(lookup);
}

std::unique_ptr<IntentHandler> IntentsDBusAdaptor::handlerFor(const Intent& intent)
{
    return installedLookup() ? installedLookup()(intent) : nullptr;
}

IntentsDBusAdaptor::IntentsDBusAdaptor(QObject* host, QDBusConnection connection)
    : QDBusAbstractAdaptor(host)
    , m_connection(std::move(connection))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    registerSessionListArgument();
}

IntentsDBusAdaptor::~IntentsDBusAdaptor() = default;

int IntentsDBusAdaptor::GetEnabledState(const QDBusMessage& message, bool& isEnabled)
{
    isEnabled = false;
    dispatch<GetEnabledStateIntentResponse>(m_connection, message, "", Effect::none,
        std::make_shared<GetEnabledStateIntent>(),
        [](const std::shared_ptr<const GetEnabledStateIntentResponse>& response) {
            return QVariantList { response->isEnabled.value_or(false) };
        });
    return 0;
}

int IntentsDBusAdaptor::SetEnabledState(int operation, int state, const QDBusMessage& message)
{
    dispatch<SetEnabledStateIntentResponse>(m_connection, message, "ii", Effect::changesState,
        std::make_shared<SetEnabledStateIntent>(
            static_cast<SetOperation>(operation), static_cast<SetState>(state)),
        [](const std::shared_ptr<const SetEnabledStateIntentResponse>&) { return QVariantList(); });
    return 0;
}

int IntentsDBusAdaptor::GetCurrentSession(const QDBusMessage& message, QVariantMap& currentSession)
{
    currentSession.clear();
    dispatch<GetCurrentSessionIntentResponse>(m_connection, message, "", Effect::none,
        std::make_shared<GetCurrentSessionIntent>(),
        [](const std::shared_ptr<const GetCurrentSessionIntentResponse>& response) {
            const QVariantMap map
                = response->currentSession ? currentSessionMap(*response->currentSession) : QVariantMap();
            return QVariantList { map };
        });
    return 0;
}

int IntentsDBusAdaptor::NewSession(const QDBusMessage& message)
{
    dispatch<NewSessionIntentResponse>(m_connection, message, "", Effect::changesState,
        std::make_shared<NewSessionIntent>(),
        [](const std::shared_ptr<const NewSessionIntentResponse>&) { return QVariantList(); });
    return 0;
}

int IntentsDBusAdaptor::GetSessions(const QDBusMessage& message, QList<QVariantMap>& sessions)
{
    sessions.clear();
    dispatch<GetSessionsIntentResponse>(
        m_connection, message, "", Effect::none, std::make_shared<GetSessionsIntent>(),
        [](const std::shared_ptr<const GetSessionsIntentResponse>& response) {
            // Marshalled from the response itself when the reply is sent: no copy of the list
            // and no map per session in between.
            return QVariantList { QVariant::fromValue(SessionListArgument { response }) };
        },
        [] {
            // The whole history was marshalled for this answer: once the message has left, what it
            // took goes back to the system rather than staying with the process. One release after
            // a run of answers does for all of them.
            static bool releasePending = false;
            if (!std::exchange(releasePending, true)) {
                QTimer::singleShot(releaseDelayMilliseconds, [] {
                    releasePending = false;
                    platform::releaseFreedMemory();
                });
            }
        });
    return 0;
}

int IntentsDBusAdaptor::GetTotalDurationToday(const QDBusMessage& message, double& result)
{
    result = 0;
    dispatch<GetTotalDurationTodayIntentResponse>(m_connection, message, "", Effect::none,
        std::make_shared<GetTotalDurationTodayIntent>(),
        [](const std::shared_ptr<const GetTotalDurationTodayIntentResponse>& response) {
            return QVariantList { response->result.value_or(0.0) };
        });
    return 0;
}

bool registerIntentsObject(QDBusConnection connection)
{
    std::string error;
    QObject* host = dbusHostObject(connection, QString::fromLatin1(IntentsDBusAdaptor::objectPath), &error);
    if (!host) {
        reportUnavailableOnce(error);
        return false;
    }
    if (!host->findChild<IntentsDBusAdaptor*>(QString(), Qt::FindDirectChildrenOnly)) {
        new IntentsDBusAdaptor(host, connection);
    }
    // The application's own adaptor, when there is one, is made before this.
    platform::IntrospectionInTurn::install(
        connection, QString::fromLatin1(IntentsDBusAdaptor::objectPath), host);
    return true;
}

QCoro::Task<bool> registerIntentsService(QDBusConnection connection)
{
    if (!registerIntentsObject(connection)) {
        co_return false;
    }
    const QString name = QString::fromLatin1(IntentsDBusAdaptor::serviceName);
    const QDBusMessage reply = co_await connection.asyncCall(platform::requestNameCall(name));
    if (!platform::madeNameOwner(reply)) {
        reportUnavailableOnce("the bus name " + name.toStdString() + " is taken or cannot be requested"
            + (reply.type() == QDBusMessage::ErrorMessage ? " (" + reply.errorMessage().toStdString() + ")"
                                                          : std::string()));
        co_return false;
    }
    co_return true;
}

} // namespace kiruvo
