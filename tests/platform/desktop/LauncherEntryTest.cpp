#include "platform/desktop/LauncherEntry.h"
#include "platform/linux/UnityLauncherEntry.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace {

// Listens for the launcher entry's signal the way a dock does: on its own connection, from any
// sender and any path.
class DockStandIn : public QObject {
    Q_OBJECT
public:
    std::vector<std::pair<QString, QVariantMap>> updates;

public slots:
    void update(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() == 2) {
            updates.emplace_back(arguments[0].toString(), qdbus_cast<QVariantMap>(arguments[1]));
        }
    }
};

} // namespace

TEST(UnityLauncherEntryTest, SendsTheUpdateSignalNamingTheDesktopEntry)
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        GTEST_SKIP() << "no session bus";
    }
    QDBusConnection dock = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"));
    ASSERT_TRUE(dock.isConnected());
    DockStandIn standIn;
    ASSERT_TRUE(
        dock.connect(QString(), QString(), QString::fromLatin1(platform::UnityLauncherEntry::interfaceName),
            QStringLiteral("Update"), &standIn, SLOT(update(QDBusMessage))));

    platform::UnityLauncherEntry entry(QStringLiteral("com.zelvantorium.Kiruvo"));
    EXPECT_EQ(entry.appUri(), "application://com.zelvantorium.Kiruvo.desktop");
    EXPECT_EQ(platform::UnityLauncherEntry("x.desktop").appUri(), "application://x.desktop");
    // The match rule reaches the bus before the signal is sent.
    dock.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
        QStringLiteral("GetId")));
    entry.update({ .progress = 0.25, .progressVisible = true, .count = 12, .countVisible = true });

    QDeadlineTimer deadline(5000);
    while (standIn.updates.empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("dock"));
    ASSERT_EQ(standIn.updates.size(), 1u);
    EXPECT_EQ(standIn.updates[0].first, "application://com.zelvantorium.Kiruvo.desktop");
    const QVariantMap& properties = standIn.updates[0].second;
    EXPECT_DOUBLE_EQ(properties.value("progress").toDouble(), 0.25);
    EXPECT_TRUE(properties.value("progress-visible").toBool());
    EXPECT_EQ(properties.value("count").toLongLong(), 12);
    EXPECT_EQ(properties.value("count").metaType(), QMetaType::fromType<qlonglong>());
    EXPECT_TRUE(properties.value("count-visible").toBool());
}

#include "LauncherEntryTest.moc"
