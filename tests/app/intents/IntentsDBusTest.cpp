#include "FakeSessionEngine.h"

#include "app/intents/IntentHandlerLookup.h"
#include "app/intents/IntentsDBusAdaptor.h"
#include "app/intents/SessionIntentObject.h"
#include "platform/fake/FakeClock.h"
#include "platform/time/Date.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <QCoro/QCoroTask>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QTest>

#include <gtest/gtest.h>

using namespace kiruvo;

namespace {

// Each test exports the interface on a connection of its own and calls it over a second one, as
// a script in another process would. Needs a session bus (CI runs the tests under one).
class IntentsDBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "no session bus";
        }
        platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Europe/Oslo"));
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
        static int count = 0;
        ++count;
        m_serverName = QStringLiteral("intents-test-server-%1").arg(count);
        m_clientName = QStringLiteral("intents-test-client-%1").arg(count);
        m_server = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_serverName));
        m_client = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_clientName));
        ASSERT_TRUE(m_server->isConnected());
        ASSERT_TRUE(m_client->isConnected());
        ASSERT_TRUE(registerIntentsObject(*m_server));
        // As the application delegate hands them out.
        IntentsDBusAdaptor::setHandlerLookup([this](const Intent& intent) {
            ++lookups;
            return handlerForIntent(intent);
        });
    }

    void TearDown() override
    {
        if (m_server) {
            delete m_server->objectRegisteredAt(QString::fromLatin1(IntentsDBusAdaptor::objectPath));
            m_server.reset();
            m_client.reset();
            QDBusConnection::disconnectFromBus(m_serverName);
            QDBusConnection::disconnectFromBus(m_clientName);
        }
        IntentsDBusAdaptor::setHandlerLookup({});
        platform::TimeZone::setCurrentForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
    }

    int lookups = 0;

    // Calls a method of the interface and waits for the answer, keeping the event loop running so
    // that the exporting side in this same process can serve it.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {},
        const QString& interface = QString::fromLatin1(IntentsDBusAdaptor::interfaceName))
    {
        auto message = QDBusMessage::createMethodCall(
            m_server->baseService(), QString::fromLatin1(IntentsDBusAdaptor::objectPath), interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = m_client->asyncCall(message, 5000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 5000)) << method.toStdString();
        return pending.reply();
    }

    static QVariantMap map(const QVariant& value)
    {
        return value.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(value) : value.toMap();
    }

    platform::fake::ScopedFakeClock fake { platform::Date(737000000.0), 50000 };
    FakeSessionEngine engine;
    QString m_serverName;
    QString m_clientName;
    std::unique_ptr<QDBusConnection> m_server;
    std::unique_ptr<QDBusConnection> m_client;
};

TEST_F(IntentsDBusTest, GetAndSetTheEnabledState)
{
    engine.enabled = true;
    auto reply = call(QStringLiteral("GetEnabledState"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("ib"));
    EXPECT_EQ(reply.arguments().value(0).toInt(), 4);
    EXPECT_EQ(reply.arguments().value(1).toBool(), true);

    reply = call(QStringLiteral("SetEnabledState"), { 1, 2 });
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("i"));
    EXPECT_EQ(reply.arguments().value(0).toInt(), 4);
    EXPECT_FALSE(engine.enabled);

    reply = call(QStringLiteral("SetEnabledState"), { 2, 0 });
    EXPECT_EQ(reply.arguments().value(0).toInt(), 4);
    EXPECT_TRUE(engine.enabled);
    EXPECT_EQ(engine.setEnabledCalls, 2);
}

TEST_F(IntentsDBusTest, InvalidArgumentsAnswerUnspecifiedAndChangeNothing)
{
    for (const auto& arguments : { QVariantList { 7, 1 }, QVariantList { 0, 2 }, QVariantList { 1, 7 },
             QVariantList { -3, 2 }, QVariantList { 1, 0 }, QVariantList { 2, -5 }, QVariantList { 2, 3 } }) {
        const auto reply = call(QStringLiteral("SetEnabledState"), arguments);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.arguments().value(0).toInt(), 0);
    }
    EXPECT_EQ(engine.setEnabledCalls, 0);

    // Arguments of the wrong type never reach a handler.
    const auto wrong = call(QStringLiteral("SetEnabledState"), { QStringLiteral("toggle"), 1 });
    EXPECT_EQ(wrong.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(engine.setEnabledCalls, 0);
}

TEST_F(IntentsDBusTest, ArgumentsBeyondTheDeclaredOnesAreRefused)
{
    for (const auto& method : { QStringLiteral("GetEnabledState"), QStringLiteral("GetCurrentSession"),
             QStringLiteral("NewSession"), QStringLiteral("GetSessions"),
             QStringLiteral("GetTotalDurationToday") }) {
        const auto reply = call(method, { 1, QStringLiteral("x") });
        // Refused by the bus library (no such method with these arguments) or by the method itself.
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << method.toStdString();
    }
    EXPECT_EQ(call(QStringLiteral("SetEnabledState"), { 2, 1, 1 }).type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(engine.newSessionCalls, 0);
    EXPECT_EQ(engine.setEnabledCalls, 0);
    EXPECT_TRUE(engine.totalAskedFor.empty());
}

TEST_F(IntentsDBusTest, GetCurrentSession)
{
    engine.current.reset();
    auto reply = call(QStringLiteral("GetCurrentSession"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("ia{sv}"));
    EXPECT_EQ(reply.arguments().value(0).toInt(), 4);
    EXPECT_TRUE(map(reply.arguments().value(1)).isEmpty());

    engine.current = CurrentSession(zk::Duration::fromSeconds(fake.clock.systemUptime()));
    fake.clock.advance(5400);
    reply = call(QStringLiteral("GetCurrentSession"));
    const QVariantMap session = map(reply.arguments().value(1));
    EXPECT_EQ(session.value(QStringLiteral("identifier")).toString(), QStringLiteral("currentSession"));
    EXPECT_EQ(
        session.value(QStringLiteral("displayString")).toString(), QStringLiteral("1 hour, 30 minutes"));
    EXPECT_TRUE(
        session.value(QStringLiteral("subtitleString")).toString().startsWith(QStringLiteral("Started at ")));
    EXPECT_EQ(session.value(QStringLiteral("duration")).toDouble(), 5400.0);
    const QVariantMap start = map(session.value(QStringLiteral("startDate")));
    EXPECT_EQ(start.value(QStringLiteral("timeZone")).toString(), QStringLiteral("Europe/Oslo"));
    EXPECT_TRUE(start.contains(QStringLiteral("year")));
    EXPECT_TRUE(start.contains(QStringLiteral("weekday")));
    EXPECT_FALSE(session.contains(QStringLiteral("endDate")));
}

TEST_F(IntentsDBusTest, NewSession)
{
    const auto reply = call(QStringLiteral("NewSession"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("i"));
    EXPECT_EQ(reply.arguments().value(0).toInt(), 4);
    EXPECT_EQ(engine.newSessionCalls, 1);
}

TEST_F(IntentsDBusTest, GetSessions)
{
    auto reply = call(QStringLiteral("GetSessions"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("iaa{sv}"));
    EXPECT_TRUE(qdbus_cast<QList<QVariantMap>>(reply.arguments().value(1)).isEmpty());

    const auto newYork = *platform::TimeZone::withIdentifier("America/New_York");
    const platform::Date end = fake.clock.now();
    engine.sessions
        = { *Session::make(platform::Uuid::random(), end.addingTimeInterval(-7200.5), end, newYork),
              *Session::make(platform::Uuid::random(), end.addingTimeInterval(-90000),
                  end.addingTimeInterval(-86400), newYork) };
    reply = call(QStringLiteral("GetSessions"));
    const auto sessions = qdbus_cast<QList<QVariantMap>>(reply.arguments().value(1));
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_EQ(sessions[0].value(QStringLiteral("identifier")).toString().toStdString(),
        engine.sessions[0].id().uuidString());
    EXPECT_EQ(sessions[1].value(QStringLiteral("identifier")).toString().toStdString(),
        engine.sessions[1].id().uuidString());
    EXPECT_EQ(sessions[0].value(QStringLiteral("duration")).toDouble(), 7200.5);
    EXPECT_EQ(sessions[0].value(QStringLiteral("displayString")).toString(), QStringLiteral("2 hours"));
    EXPECT_FALSE(sessions[0].value(QStringLiteral("subtitleString")).toString().isEmpty());

    const auto expected = platform::Calendar::current().dateComponents(end, newYork);
    const QVariantMap endDate = map(sessions[0].value(QStringLiteral("endDate")));
    EXPECT_EQ(endDate.value(QStringLiteral("timeZone")).toString(), QStringLiteral("America/New_York"));
    EXPECT_EQ(endDate.value(QStringLiteral("hour")).toInt(), *expected->hour);
    EXPECT_EQ(endDate.value(QStringLiteral("day")).toInt(), *expected->day);
    EXPECT_EQ(endDate.value(QStringLiteral("minute")).toInt(), *expected->minute);
    EXPECT_TRUE(sessions[0].contains(QStringLiteral("startDate")));
}

// The reply is written straight into the message; what a script reads from it is exactly the
// dictionaries it always got: the same keys in the same order, the same types and values.
TEST_F(IntentsDBusTest, GetSessionsAnswersEveryFieldOfEverySession)
{
    const auto newYork = *platform::TimeZone::withIdentifier("America/New_York");
    const auto oslo = *platform::TimeZone::withIdentifier("Europe/Oslo");
    const platform::Date end = fake.clock.now();
    engine.sessions = { *Session::make(platform::Uuid::random(), end.addingTimeInterval(-7200.25), end, oslo),
        *Session::make(platform::Uuid::random(), end.addingTimeInterval(-90000),
            end.addingTimeInterval(-86400.5), newYork),
        *Session::make(platform::Uuid::random(), end.addingTimeInterval(-30), end, newYork) };
    const auto reply = call(QStringLiteral("GetSessions"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("iaa{sv}"));
    const auto sessions = qdbus_cast<QList<QVariantMap>>(reply.arguments().value(1));
    ASSERT_EQ(sessions.size(), 3);

    const auto components = [](const platform::DateComponents& date) {
        QVariantMap map;
        map.insert(QStringLiteral("year"), *date.year);
        map.insert(QStringLiteral("month"), *date.month);
        map.insert(QStringLiteral("day"), *date.day);
        map.insert(QStringLiteral("hour"), *date.hour);
        map.insert(QStringLiteral("minute"), *date.minute);
        map.insert(QStringLiteral("second"), *date.second);
        map.insert(QStringLiteral("nanosecond"), *date.nanosecond);
        map.insert(QStringLiteral("weekday"), *date.weekday);
        map.insert(QStringLiteral("timeZone"), QString::fromStdString(date.timeZone->identifier()));
        return map;
    };
    for (int i = 0; i < 3; ++i) {
        const Session_ expected = intentObject(engine.sessions[static_cast<std::size_t>(i)]);
        const QVariantMap& answered = sessions[i];
        EXPECT_EQ(answered.keys(),
            (QStringList { QStringLiteral("displayString"), QStringLiteral("duration"),
                QStringLiteral("endDate"), QStringLiteral("identifier"), QStringLiteral("startDate"),
                QStringLiteral("subtitleString") }));
        EXPECT_EQ(
            answered.value(QStringLiteral("identifier")).toString().toStdString(), *expected.identifier());
        EXPECT_EQ(answered.value(QStringLiteral("displayString")).toString().toStdString(),
            expected.displayString());
        EXPECT_EQ(answered.value(QStringLiteral("subtitleString")).toString().toStdString(),
            *expected.subtitleString());
        EXPECT_EQ(answered.value(QStringLiteral("duration")).metaType(), QMetaType::fromType<double>());
        EXPECT_EQ(answered.value(QStringLiteral("duration")).toDouble(), *expected.duration);
        const QVariantMap start = map(answered.value(QStringLiteral("startDate")));
        const QVariantMap endDate = map(answered.value(QStringLiteral("endDate")));
        EXPECT_EQ(start, components(*expected.startDate)) << i;
        EXPECT_EQ(endDate, components(*expected.endDate)) << i;
        EXPECT_EQ(start.value(QStringLiteral("year")).metaType(), QMetaType::fromType<int>());
    }
    EXPECT_EQ(sessions[2].value(QStringLiteral("duration")).toDouble(), 30.0);
}

TEST_F(IntentsDBusTest, GetTotalDurationToday)
{
    engine.total = zk::Duration::fromSeconds(3599.5);
    const auto reply = call(QStringLiteral("GetTotalDurationToday"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.signature(), QStringLiteral("id"));
    EXPECT_EQ(reply.arguments().value(0).toInt(), 4);
    EXPECT_EQ(reply.arguments().value(1).toDouble(), 3600.0);
}

TEST_F(IntentsDBusTest, IntrospectionShowsTheAnswersSignatures)
{
    const auto reply
        = call(QStringLiteral("Introspect"), {}, QStringLiteral("org.freedesktop.DBus.Introspectable"));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    const QString xml = reply.arguments().value(0).toString();
    EXPECT_TRUE(xml.contains(QStringLiteral("<interface name=\"com.zelvantorium.Kiruvo.Intents\">")));
    EXPECT_FALSE(xml.contains(QStringLiteral("QDBusMessage")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<arg name=\"code\" type=\"i\" direction=\"out\"/>")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<arg name=\"sessions\" type=\"aa{sv}\" direction=\"out\"/>")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<arg name=\"operation\" type=\"i\" direction=\"in\"/>")));
}

TEST_F(IntentsDBusTest, RegisteringAgainKeepsOneInterface)
{
    EXPECT_TRUE(registerIntentsObject(*m_server));
    QObject* host = m_server->objectRegisteredAt(QString::fromLatin1(IntentsDBusAdaptor::objectPath));
    ASSERT_TRUE(host);
    EXPECT_EQ(host->findChildren<IntentsDBusAdaptor*>().size(), 1);
    EXPECT_EQ(call(QStringLiteral("NewSession")).arguments().value(0).toInt(), 4);
    EXPECT_EQ(engine.newSessionCalls, 1);
}

TEST(IntentsDBusRegistration, WithoutABusRegistrationFailsAndTheApplicationGoesOn)
{
    const QDBusConnection none(QStringLiteral("intents-test-no-bus"));
    EXPECT_FALSE(none.isConnected());
    EXPECT_FALSE(registerIntentsObject(none));
    EXPECT_FALSE(QCoro::waitFor(registerIntentsService(none)));
}

} // namespace

TEST_F(IntentsDBusTest, EveryCallGetsItsHandlerFromTheInstalledLookupAndNoneWithoutOne)
{
    const QDBusMessage answered = call(QStringLiteral("GetTotalDurationToday"));
    EXPECT_EQ(answered.type(), QDBusMessage::ReplyMessage) << answered.errorMessage().toStdString();
    EXPECT_EQ(lookups, 1);

    IntentsDBusAdaptor::setHandlerLookup({});
    const QDBusMessage refused = call(QStringLiteral("GetTotalDurationToday"));
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(refused.errorMessage().toStdString(), "No handler.");
}
