#include "FakeSessionEngine.h"

#include "app/intents/IntentHandlerLookup.h"
#include "app/intents/IntentsDBusAdaptor.h"
#include "app/intents/SessionIntentObject.h"
#include "app/intents/SessionListArgument.h"
#include "platform/Logger.h"
#include "platform/fake/FakeClock.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>

#include <gtest/gtest.h>

#include <dbus/dbus.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace kiruvo;

namespace {

// A script reading the whole history over a bus of the test's own, while the interface is served
// from a connection of its own in this process. D-Bus carries an array of 64 MiB at most, and
// the bus daemon disconnects a connection that sends more.
class IntentsLargeHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Europe/Oslo"));
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
        m_server = m_bus.connect(QStringLiteral("large-history-server"));
        m_script = m_bus.connect(QStringLiteral("large-history-script"));
        ASSERT_TRUE(registerIntentsObject(m_server));
        IntentsDBusAdaptor::setHandlerLookup(handlerForIntent);
    }

    void TearDown() override
    {
        if (m_server.isConnected()) {
            delete m_server.objectRegisteredAt(QString::fromLatin1(IntentsDBusAdaptor::objectPath));
        }
        IntentsDBusAdaptor::setHandlerLookup({});
        platform::TimeZone::setCurrentForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
    }

    // `count` sessions of 20 minutes, one every hour back from now, in the zones given in turn.
    void storeHistory(int count, const std::vector<std::string>& zones = { "Europe/Oslo" })
    {
        std::vector<platform::TimeZone> timeZones;
        for (const std::string& zone : zones) {
            timeZones.push_back(*platform::TimeZone::withIdentifier(zone));
        }
        engine.sessions.clear();
        engine.sessions.reserve(static_cast<std::size_t>(count));
        const platform::Date now = fake.clock.now();
        for (int i = 0; i < count; ++i) {
            const platform::Date start = now.addingTimeInterval(-3600.0 * (i + 1));
            engine.sessions.push_back(*Session::make(platform::Uuid::random(), start,
                start.addingTimeInterval(1200.0 + i % 7 * 61.25),
                timeZones[static_cast<std::size_t>(i) % timeZones.size()]));
        }
    }

    // The answer the handler gives for these sessions.
    static std::shared_ptr<GetSessionsIntentResponse> responseFor(const std::vector<Session>& sessions)
    {
        auto response = std::make_shared<GetSessionsIntentResponse>(
            GetSessionsIntentResponseCode::success, std::nullopt);
        response->sessions.emplace();
        response->sessions->reserve(sessions.size());
        for (const Session& session : sessions) {
            response->sessions->push_back(intentObject(session));
        }
        return response;
    }

    QDBusMessage call(const QString& method)
    {
        return PrivateSessionBus::callServing(m_script,
            QDBusMessage::createMethodCall(m_server.baseService(),
                QString::fromLatin1(IntentsDBusAdaptor::objectPath),
                QString::fromLatin1(IntentsDBusAdaptor::interfaceName), method));
    }

    // What the list's length field says in a GetSessions reply as the bus delivers it, read by a
    // caller using libdbus directly, on a thread of its own while this one serves the interface:
    // the message's body length less the code and the length field.
    std::optional<std::uint32_t> deliveredListLength()
    {
        const QByteArray address = m_bus.address().toUtf8();
        const QByteArray destination = m_server.baseService().toUtf8();
        std::optional<std::uint32_t> length;
        std::string failure;
        std::atomic<bool> done = false;
        std::thread caller([&] {
            DBusError error;
            dbus_error_init(&error);
            DBusConnection* connection = dbus_connection_open_private(address.constData(), &error);
            DBusMessage* reply = nullptr;
            if (connection && dbus_bus_register(connection, &error)) {
                DBusMessage* getSessions = dbus_message_new_method_call(destination.constData(),
                    IntentsDBusAdaptor::objectPath, IntentsDBusAdaptor::interfaceName, "GetSessions");
                reply = dbus_connection_send_with_reply_and_block(connection, getSessions, 60000, &error);
                dbus_message_unref(getSessions);
            }
            char* bytes = nullptr;
            int size = 0;
            if (reply && dbus_message_marshal(reply, &bytes, &size) && size >= 8) {
                std::uint32_t body = 0;
                std::memcpy(&body, bytes + 4, sizeof body);
                if (bytes[0] != (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? 'l' : 'B')) {
                    body = __builtin_bswap32(body);
                }
                length = body - 8;
                dbus_free(bytes);
            } else if (dbus_error_is_set(&error)) {
                failure = error.message;
            }
            if (reply) {
                dbus_message_unref(reply);
            }
            if (connection) {
                dbus_connection_close(connection);
                dbus_connection_unref(connection);
            }
            dbus_error_free(&error);
            done = true;
        });
        PrivateSessionBus::serveUntil([&] { return done.load(); }, 70000);
        caller.join();
        EXPECT_EQ(failure, "");
        return length;
    }

    platform::fake::ScopedFakeClock fake { platform::Date(737000000.0), 50000 };
    FakeSessionEngine engine;
    PrivateSessionBus m_bus;
    QDBusConnection m_server { QString() };
    QDBusConnection m_script { QString() };
};

// The largest history one answer carries is answered in full; one session more is refused with
// an error that says why, and the application keeps its connection: the next calls are answered.
TEST_F(IntentsLargeHistoryTest, TheLargestHistoryThatFitsIsAnsweredAndOneMoreIsAnErrorThatKeepsTheBus)
{
    // The protocol's limit as libdbus states it, which the bus daemon enforces.
    constexpr std::uint64_t limit = DBUS_MAXIMUM_ARRAY_LENGTH;
    storeHistory(104000);
    const auto response = responseFor(engine.sessions);
    // Sessions of one kind take about as much each: a first guess, then one session at a time.
    const std::uint64_t all = SessionListArgument { response }.marshalledLength();
    ASSERT_GT(all, limit);
    std::vector<Session_>& listed = *response->sessions;
    const auto guess
        = static_cast<std::ptrdiff_t>(static_cast<double>(listed.size()) * limit / static_cast<double>(all));
    listed.erase(listed.begin() + guess, listed.end());
    while (SessionListArgument { response }.marshalledLength() > limit) {
        listed.pop_back();
    }
    std::size_t fitting = listed.size();
    for (listed.push_back(intentObject(engine.sessions[fitting]));
         SessionListArgument { response }.marshalledLength() <= limit;
         listed.push_back(intentObject(engine.sessions[fitting]))) {
        ++fitting;
    }
    listed.pop_back();
    const std::uint64_t largest = SessionListArgument { response }.marshalledLength();
    ASSERT_GT(largest, limit - 2048);

    engine.sessions.resize(fitting);
    EXPECT_EQ(deliveredListLength(), largest);
    EXPECT_TRUE(m_server.isConnected());

    const platform::LogCapture log;
    engine.sessions.resize(fitting + 1);
    const QDBusMessage refused = call(QStringLiteral("GetSessions"));
    ASSERT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(
        refused.errorName().toStdString(), QDBusError::errorString(QDBusError::LimitsExceeded).toStdString());
    const std::string count = std::to_string(fitting + 1) + " sessions";
    EXPECT_TRUE(refused.errorMessage().toStdString().find(count) != std::string::npos)
        << refused.errorMessage().toStdString();
    EXPECT_EQ(log.countContaining(count), 1);

    EXPECT_TRUE(m_server.isConnected());
    const QDBusMessage state = call(QStringLiteral("GetEnabledState"));
    EXPECT_EQ(state.type(), QDBusMessage::ReplyMessage) << state.errorMessage().toStdString();
    storeHistory(3);
    const QDBusMessage sessions = call(QStringLiteral("GetSessions"));
    ASSERT_EQ(sessions.type(), QDBusMessage::ReplyMessage) << sessions.errorMessage().toStdString();
    EXPECT_EQ(qdbus_cast<QList<QVariantMap>>(sessions.arguments().value(1)).size(), 3);
}

// The size is reckoned without writing the answer; it must be the size of the answer written,
// byte for byte, or an answer that fits would be refused or one that does not would be sent.
TEST_F(IntentsLargeHistoryTest, TheReckonedSizeIsThatOfTheAnswerDelivered)
{
    for (const int count : { 0, 1, 2, 37 }) {
        storeHistory(count, { "Europe/Oslo", "America/Argentina/ComodRivadavia", "UTC", "Asia/Kolkata" });
        EXPECT_EQ(
            deliveredListLength(), SessionListArgument { responseFor(engine.sessions) }.marshalledLength())
            << count;
    }
}

} // namespace
