#include "app/intents/IntentsDBusAdaptor.h"
#include "platform/linux/BusCallQueue.h"
#include "support/BusCallers.h"
#include "support/PrivateSessionBus.h"
#include "support/TerminationDelay.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QString>
#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace kiruvo;

namespace {

struct Flood {
    const char* interface;
    const char* method;
    QList<QString> arguments;
};

// A program sends, for a second and with no answer wanted, calls that QtDBus would answer itself on
// the application's object (Introspect, the Properties interface), while the main thread is at
// work: they all wait for the main thread as events. A SIGTERM that comes then is acted on within a
// second, not after all of them; a caller that waits for its answer is answered once they are done;
// and none of them is answered.
class BusLayerFloodTest : public ::testing::TestWithParam<Flood> {
protected:
    void SetUp() override
    {
        if (!m_bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        if (!BusCallers::available()) {
            GTEST_SKIP() << "python3 with its D-Bus module is not available";
        }
        m_server = m_bus.connect(QStringLiteral("bus-layer-server"));
        m_caller = m_bus.connect(QStringLiteral("bus-layer-caller"));
        ASSERT_TRUE(registerIntentsObject(m_server));
    }

    void TearDown() override
    {
        if (m_server.isConnected()) {
            delete m_server.objectRegisteredAt(QString::fromLatin1(IntentsDBusAdaptor::objectPath));
        }
    }

    // The test's calls, sent for a second with no answer wanted.
    std::unique_ptr<BusCallers> floodForASecond()
    {
        const Flood& flood = GetParam();
        BusCallers::Call call { m_server.baseService(), QString::fromLatin1(IntentsDBusAdaptor::objectPath),
            QString::fromLatin1(flood.interface), QString::fromLatin1(flood.method), {}, true };
        call.strings = flood.arguments;
        return std::make_unique<BusCallers>(m_bus.address(), call, 1, 0, 1.0);
    }

    PrivateSessionBus m_bus;
    QDBusConnection m_server { QString() };
    QDBusConnection m_caller { QString() };
};

TEST_P(BusLayerFloodTest, ASignalIsActedOnBeforeTheCallsAndACallerIsAnsweredAfter)
{
    const auto callers = floodForASecond();
    ASSERT_GT(callers->waitUntilSent(), 10000);

    EXPECT_TRUE(terminatesWithinASecond());

    QDBusPendingCall question = m_caller.asyncCall(QDBusMessage::createMethodCall(m_server.baseService(),
        QString::fromLatin1(IntentsDBusAdaptor::objectPath),
        QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return question.isFinished(); }, 60000));
    EXPECT_FALSE(question.isError()) << question.error().message().toStdString();
}

// The calls wanted no answer, and none is made: with the bus stopped, what the application made of
// them would wait in its connection, tens of megabytes for a second's calls.
TEST_P(BusLayerFloodTest, CallsThatWantNoAnswerLeaveNothingToSend)
{
    const auto callers = floodForASecond();
    ASSERT_GT(callers->waitUntilSent(), 10000);

    m_bus.pause();
    for (int turn = 0; turn < 20; ++turn) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    const std::int64_t unsent = platform::BusCallQueue::unsentBytes(m_server);
    m_bus.resume();
    EXPECT_LT(unsent, 256 * 1024);
}

INSTANTIATE_TEST_SUITE_P(CallsQtDBusAnswers, BusLayerFloodTest,
    ::testing::Values(Flood { "org.freedesktop.DBus.Introspectable", "Introspect", {} },
        Flood { "org.freedesktop.DBus.Properties", "GetAll",
            { QStringLiteral("com.zelvantorium.Kiruvo.Intents") } }),
    [](const ::testing::TestParamInfo<Flood>& info) { return std::string(info.param.method); });

} // namespace
