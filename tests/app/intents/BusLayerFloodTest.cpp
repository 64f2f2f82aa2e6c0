#include "app/intents/IntentsDBusAdaptor.h"
#include "support/BusCallers.h"
#include "support/PrivateSessionBus.h"
#include "support/TerminationDelay.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QString>
#include <gtest/gtest.h>

#include <string>

using namespace kiruvo;

namespace {

struct Flood {
    const char* interface;
    const char* method;
    QList<QString> arguments;
};

// A program sends, for a second and with no answer wanted, calls that QtDBus answers itself on the
// application's object, never reaching its adaptors (and answers even when no answer is wanted),
// while the main thread is at work: they all wait for the main thread as events. A SIGTERM that
// comes then is acted on within a second, not after all of them; and a caller that waits for its
// answer is answered once they are done.
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

    PrivateSessionBus m_bus;
    QDBusConnection m_server { QString() };
    QDBusConnection m_caller { QString() };
};

TEST_P(BusLayerFloodTest, ASignalIsActedOnBeforeTheCallsAndACallerIsAnsweredAfter)
{
    const Flood& flood = GetParam();
    const QString path = QString::fromLatin1(IntentsDBusAdaptor::objectPath);
    BusCallers::Call call { m_server.baseService(), path, QString::fromLatin1(flood.interface),
        QString::fromLatin1(flood.method), {}, true };
    call.strings = flood.arguments;
    BusCallers callers(m_bus.address(), call, 1, 0, 1.0);
    ASSERT_GT(callers.waitUntilSent(), 10000);

    EXPECT_TRUE(terminatesWithinASecond());

    QDBusPendingCall question = m_caller.asyncCall(QDBusMessage::createMethodCall(m_server.baseService(),
        path, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return question.isFinished(); }, 60000));
    EXPECT_FALSE(question.isError()) << question.error().message().toStdString();
}

INSTANTIATE_TEST_SUITE_P(CallsQtDBusAnswers, BusLayerFloodTest,
    ::testing::Values(Flood { "org.freedesktop.DBus.Introspectable", "Introspect", {} },
        Flood { "org.freedesktop.DBus.Properties", "GetAll",
            { QStringLiteral("com.zelvantorium.Kiruvo.Intents") } }),
    [](const ::testing::TestParamInfo<Flood>& info) { return std::string(info.param.method); });

} // namespace
