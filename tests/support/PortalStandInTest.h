#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QString>
#include <gtest/gtest.h>

#include <memory>

// A stand-in of the desktop portal on the test's session bus: a connection of its own owns a name
// of the test's and serves a `StandIn` (built over that connection) at the portal's object path.
// Skipped without a session bus.
template <class StandIn> class PortalStandInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            GTEST_SKIP() << "no session bus";
        }
        m_connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName());
        ASSERT_TRUE(m_connection.isConnected());
        m_serviceName = QStringLiteral("com.zelvantorium.Kiruvo.TestPortal.p%1")
                            .arg(QCoreApplication::applicationPid());
        ASSERT_TRUE(m_connection.registerService(m_serviceName));
        m_standIn = std::make_unique<StandIn>(m_connection);
        ASSERT_TRUE(
            m_connection.registerObject(objectPath(), m_standIn.get(), QDBusConnection::ExportAllSlots));
    }

    void TearDown() override
    {
        if (m_connection.isConnected()) {
            m_connection.unregisterObject(objectPath());
            m_connection.unregisterService(m_serviceName);
        }
        QDBusConnection::disconnectFromBus(connectionName());
    }

    static QString connectionName() { return QStringLiteral("portal-stand-in"); }
    static QString objectPath() { return QStringLiteral("/org/freedesktop/portal/desktop"); }

    QDBusConnection m_connection { QStringLiteral("unset") };
    QString m_serviceName;
    std::unique_ptr<StandIn> m_standIn;
};
