#include "platform/linux/PortalBackgroundLoginItemService.h"
#include "platform/store/UserDefaults.h"
#include "support/PortalStandInTest.h"
#include "support/PrivateSessionBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <vector>

using platform::LoginItemService;
using platform::dbus::PortalBackgroundLoginItemService;
using Status = LoginItemService::Status;

namespace {

// The desktop portal's Background interface, answering each request as the test sets it up. Its
// Response goes out after the reply to the call, from the request's own object path.
class BackgroundPortalStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Background")
public:
    struct Asked {
        QString parentWindow;
        QVariantMap options;
        QString sender;
    };

    explicit BackgroundPortalStandIn(QDBusConnection& connection)
        : m_connection(connection)
    {
    }

    std::vector<Asked> asked;
    // The Response's code: 0 answered, 1 cancelled by the user, 2 ended otherwise.
    uint responseCode = 0;
    // Whether the user allows what is asked.
    bool allows = true;

public Q_SLOTS:
    QDBusObjectPath RequestBackground(const QString& parentWindow, const QVariantMap& options)
    {
        asked.push_back({ parentWindow, options, message().service() });
        QString sender = message().service().mid(1);
        sender.replace(u'.', u'_');
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/") + sender + u'/'
            + options.value(QStringLiteral("handle_token")).toString();
        const bool wanted = options.value(QStringLiteral("autostart")).toBool();
        QVariantMap results;
        results.insert(QStringLiteral("background"), true);
        results.insert(QStringLiteral("autostart"), allows ? wanted : false);
        const uint code = responseCode;
        QTimer::singleShot(0, this, [this, path, code, results] {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << code << results;
            m_connection.send(signal);
        });
        return QDBusObjectPath(path);
    }

private:
    QDBusConnection& m_connection;
};

class PortalLoginItemServiceTest : public PortalStandInTest<BackgroundPortalStandIn> {
protected:
    PortalBackgroundLoginItemService::Options options(QString service = {}) const
    {
        PortalBackgroundLoginItemService::Options result;
        result.service = service.isEmpty() ? m_serviceName : service;
        result.suite = platform::UserDefaults::standard();
        return result;
    }

    // Runs the request and waits for the portal's answer.
    static LoginItemService::Failure answer(
        LoginItemService& service, void (LoginItemService::*request)(LoginItemService::Completion))
    {
        bool answered = false;
        LoginItemService::Failure result;
        (service.*request)([&](const LoginItemService::Failure& failure) {
            answered = true;
            result = failure;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
        return result;
    }
};

TEST_F(PortalLoginItemServiceTest, EnablingAsksForAutostartAndKeepsTheAnswer)
{
    PortalBackgroundLoginItemService service(options());
    EXPECT_EQ(service.status(), Status::notRegistered);

    EXPECT_EQ(answer(service, &LoginItemService::registerApp), std::nullopt);

    ASSERT_EQ(m_standIn->asked.size(), 1u);
    const auto asked = m_standIn->asked[0];
    EXPECT_EQ(asked.parentWindow, QString());
    EXPECT_EQ(asked.sender, QDBusConnection::sessionBus().baseService());
    EXPECT_EQ(asked.options.value(QStringLiteral("autostart")), QVariant(true));
    EXPECT_FALSE(asked.options.value(QStringLiteral("reason")).toString().isEmpty());
    EXPECT_FALSE(asked.options.value(QStringLiteral("handle_token")).toString().isEmpty());
    EXPECT_EQ(service.status(), Status::enabled);
    // Kept across launches: another service over the same settings reads it.
    EXPECT_EQ(PortalBackgroundLoginItemService(options()).status(), Status::enabled);

    EXPECT_EQ(answer(service, &LoginItemService::unregisterApp), std::nullopt);
    ASSERT_EQ(m_standIn->asked.size(), 2u);
    EXPECT_EQ(m_standIn->asked[1].options.value(QStringLiteral("autostart")), QVariant(false));
    EXPECT_NE(m_standIn->asked[1].options.value(QStringLiteral("handle_token")),
        asked.options.value(QStringLiteral("handle_token")));
    EXPECT_EQ(service.status(), Status::notRegistered);
}

TEST_F(PortalLoginItemServiceTest, ARefusalFailsAndTheStateIsWhatTheDesktopGranted)
{
    PortalBackgroundLoginItemService service(options());
    m_standIn->allows = false;

    const LoginItemService::Failure failure = answer(service, &LoginItemService::registerApp);

    EXPECT_TRUE(failure);
    EXPECT_EQ(service.status(), Status::notRegistered);
}

TEST_F(PortalLoginItemServiceTest, ACancelledRequestFailsAndChangesNothing)
{
    PortalBackgroundLoginItemService service(options());
    ASSERT_EQ(answer(service, &LoginItemService::registerApp), std::nullopt);
    m_standIn->responseCode = 1;

    const LoginItemService::Failure failure = answer(service, &LoginItemService::unregisterApp);

    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("cancelled"), std::string::npos) << *failure;
    EXPECT_EQ(service.status(), Status::enabled);
}

TEST_F(PortalLoginItemServiceTest, AnAnswerFromAnotherProcessOnTheRequestsPathIsNotTaken)
{
    PortalBackgroundLoginItemService service(options());
    m_standIn->responseCode = 1;
    bool answered = false;
    LoginItemService::Failure failure;
    service.registerApp([&](const LoginItemService::Failure& result) {
        answered = true;
        failure = result;
    });
    // Before the portal handles the request, another process answers it as granted.
    QDBusConnection other
        = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal-impostor"));
    QVariantMap granted;
    granted.insert(QStringLiteral("autostart"), true);
    QDBusMessage fake = QDBusMessage::createSignal(
        PortalBackgroundLoginItemService::requestPath(QDBusConnection::sessionBus(),
            QStringLiteral("kiruvo_autostart_%1_1").arg(QCoreApplication::applicationPid())),
        QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    fake << 0u << granted;
    PrivateSessionBus::sendSignal(other, fake);
    QDBusConnection::disconnectFromBus(QStringLiteral("portal-impostor"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("cancelled"), std::string::npos) << *failure;
    EXPECT_EQ(service.status(), Status::notRegistered);
}

TEST_F(PortalLoginItemServiceTest, NoPortalOnTheBusFailsWithoutChangingTheState)
{
    PortalBackgroundLoginItemService service(options(
        QStringLiteral("com.zelvantorium.Kiruvo.NoSuchPortal.p%1").arg(QCoreApplication::applicationPid())));

    const LoginItemService::Failure failure = answer(service, &LoginItemService::registerApp);

    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("did not answer"), std::string::npos) << *failure;
    EXPECT_EQ(service.status(), Status::notRegistered);
    EXPECT_TRUE(m_standIn->asked.empty());
}

} // namespace

#include "PortalLoginItemServiceTest.moc"
