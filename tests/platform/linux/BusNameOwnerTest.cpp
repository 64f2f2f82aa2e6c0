#include "platform/linux/BusNameOwner.h"
#include "support/PrivateSessionBus.h"

#include <QDBusMessage>
#include <QObject>
#include <gtest/gtest.h>

#include <memory>

using platform::BusNameOwner;

namespace {

const QString serviceName = QStringLiteral("org.example.Kiruvo.Service");
const QString objectPath = QStringLiteral("/org/example/Service");
const QString interfaceName = QStringLiteral("org.example.Service");

// What reached the slot a service's signal is connected to, and what the owner check let through.
class Listener : public QObject {
    Q_OBJECT
public:
    explicit Listener(BusNameOwner& owner)
        : m_owner(owner)
    {
    }
    QStringList delivered;
    QStringList heard;

public Q_SLOTS:
    void said(const QString& text, const QDBusMessage& message)
    {
        delivered.append(text);
        if (m_owner.sentByOwner(message)) {
            heard.append(text);
        }
    }

private:
    BusNameOwner& m_owner;
};

// Sends the service's signal from `sender` and waits until the bus has passed it on.
void say(QDBusConnection sender, const QString& text)
{
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, interfaceName, QStringLiteral("Said"));
    signal << text;
    PrivateSessionBus::sendSignal(sender, signal);
}

class BusNameOwnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning()) {
            GTEST_SKIP() << "no dbus-daemon for a private bus";
        }
        client = bus.connect(QStringLiteral("owner-test-client"));
        service = bus.connect(QStringLiteral("owner-test-service"));
        impostor = bus.connect(QStringLiteral("owner-test-impostor"));
        ASSERT_TRUE(client.isConnected() && service.isConnected() && impostor.isConnected());
        ASSERT_TRUE(service.registerService(serviceName));
    }

    PrivateSessionBus bus;
    QDBusConnection client { QStringLiteral("unset") };
    QDBusConnection service { QStringLiteral("unset") };
    QDBusConnection impostor { QStringLiteral("unset") };
};

} // namespace

TEST_F(BusNameOwnerTest, OnAStalledBusNothingWaitsAndTheOwnerIsLearntOnceItAnswers)
{
    std::unique_ptr<BusNameOwner> owner;
    std::unique_ptr<Listener> listener;
    bool connected = false;
    bool knownBeforeTheAnswer = true;
    EXPECT_TRUE(bus.finishesWhilePaused([&] {
        owner = std::make_unique<BusNameOwner>(client, serviceName);
        listener = std::make_unique<Listener>(*owner);
        connected = owner->connectSignal(objectPath, interfaceName, QStringLiteral("Said"), listener.get(),
            SLOT(said(QString, QDBusMessage)));
        knownBeforeTheAnswer = owner->isOwnerKnown();
    }));
    EXPECT_TRUE(connected);
    EXPECT_FALSE(knownBeforeTheAnswer);

    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return owner->isOwnerKnown(); }));
    EXPECT_EQ(owner->owner(), service.baseService());
    say(service, QStringLiteral("hello"));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return !listener->heard.isEmpty(); }));
    EXPECT_EQ(listener->heard, QStringList { QStringLiteral("hello") });
}

TEST_F(BusNameOwnerTest, OnlyTheCurrentOwnerIsHeardOnTheServicesPath)
{
    BusNameOwner owner(client, serviceName);
    Listener listener(owner);
    QStringList owners;
    QObject::connect(&owner, &BusNameOwner::ownerChanged, [&](const QString& now) { owners.append(now); });
    ASSERT_TRUE(owner.connectSignal(
        objectPath, interfaceName, QStringLiteral("Said"), &listener, SLOT(said(QString, QDBusMessage))));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return owner.isOwnerKnown(); }));

    // Another process on the same path and interface reaches the slot, and is not heard.
    say(impostor, QStringLiteral("fake"));
    say(service, QStringLiteral("real"));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return listener.delivered.size() == 2; }));
    EXPECT_EQ(listener.delivered, (QStringList { QStringLiteral("fake"), QStringLiteral("real") }));
    EXPECT_EQ(listener.heard, QStringList { QStringLiteral("real") });

    // The name changes hands: the old owner is no longer heard, the new one is.
    ASSERT_TRUE(service.unregisterService(serviceName));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return owner.owner().isEmpty(); }));
    ASSERT_TRUE(impostor.registerService(serviceName));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return owner.owner() == impostor.baseService(); }));
    say(service, QStringLiteral("gone"));
    say(impostor, QStringLiteral("new"));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return listener.delivered.size() == 4; }));
    EXPECT_EQ(listener.heard, (QStringList { QStringLiteral("real"), QStringLiteral("new") }));
    EXPECT_EQ(owners, (QStringList { service.baseService(), QString(), impostor.baseService() }));
}

TEST_F(BusNameOwnerTest, AnUnownedNameHearsNobodyAndAUniqueNameIsItsOwnOwner)
{
    BusNameOwner nobody(client, QStringLiteral("org.example.Kiruvo.Nobody"));
    ASSERT_TRUE(PrivateSessionBus::serveUntil([&] { return nobody.isOwnerKnown(); }));
    EXPECT_TRUE(nobody.owner().isEmpty());
    QDBusMessage fromNobody = QDBusMessage::createSignal(objectPath, interfaceName, QStringLiteral("Said"));
    EXPECT_FALSE(nobody.sentByOwner(fromNobody));

    BusNameOwner unique(client, service.baseService());
    EXPECT_TRUE(unique.isOwnerKnown());
    EXPECT_EQ(unique.owner(), service.baseService());
}

#include "BusNameOwnerTest.moc"
