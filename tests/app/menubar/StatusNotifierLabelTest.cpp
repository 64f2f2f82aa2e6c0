#include "app/MenuBarFixture.h"

#include "platform/linux/StatusNotifierItemBackend.h"
#include "support/PrivateSessionBus.h"
#include "support/StandInStatusNotifierWatcher.h"
#include "support/StatusNotifierSignalLog.h"

#include <QDBusMessage>

namespace {

// The signals of the exported menu, as a panel listening to it gets them.
class MenuSignalCount : public QObject {
    Q_OBJECT
public:
    MenuSignalCount(QDBusConnection connection, const QString& service)
    {
        for (const char* name : { "LayoutUpdated", "ItemsPropertiesUpdated" }) {
            connection.connect(service, QString::fromLatin1(platform::StatusNotifierItemBackend::menuPath),
                QStringLiteral("com.canonical.dbusmenu"), QString::fromLatin1(name), this,
                SLOT(heard(QDBusMessage)));
        }
    }
    int layouts = 0;
    int propertyUpdates = 0;

public Q_SLOTS:
    void heard(const QDBusMessage& message)
    {
        ++(message.member() == QLatin1String("LayoutUpdated") ? layouts : propertyUpdates);
    }
};

// The menu-bar controller drawing into a StatusNotifierItem on a private bus, with a panel that
// shows labels.
class StatusNotifierLabelTest : public MenuBarTest {
protected:
    void SetUp() override
    {
        MenuBarTest::SetUp();
        if (!bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        watcher = std::make_unique<StandInStatusNotifierWatcher>(bus.address(), true);
        host = bus.connect(QStringLiteral("host"));
        const QDBusConnection itemConnection = bus.connect(QStringLiteral("item"));
        kiruvo::MenuBarController::Environment environment;
        environment.sessionController = &controller();
        environment.makeStatusItemBackend = [this, itemConnection] {
            auto made = std::make_unique<platform::StatusNotifierItemBackend>(itemConnection,
                platform::StatusNotifierItemBackend::Options { true, QColor(Qt::black), false });
            item = made.get();
            return made;
        };
        m_menuBar = std::make_unique<kiruvo::MenuBarController>(std::move(environment));
    }

    void TearDown() override
    {
        m_menuBar.reset();
        watcher.reset();
        MenuBarTest::TearDown();
    }

    // The revision of the exported menu's layout, read as a panel reads it.
    uint menuRevision()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(item->serviceName(),
            QString::fromLatin1(platform::StatusNotifierItemBackend::menuPath),
            QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
        call << 0 << -1 << QStringList();
        const QDBusMessage reply = PrivateSessionBus::callServing(host, call);
        return reply.arguments().isEmpty() ? 0 : reply.arguments().front().toUInt();
    }

    QString label()
    {
        return PrivateSessionBus::property(host, item->serviceName(), QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("XAyatanaLabel"))
            .toString();
    }

    PrivateSessionBus bus;
    std::unique_ptr<StandInStatusNotifierWatcher> watcher;
    QDBusConnection host { QString() };
    platform::StatusNotifierItemBackend* item = nullptr;
};

} // namespace

TEST_F(StatusNotifierLabelTest, TheLabelChangesAtMostOnceAMinuteWhileASessionRuns)
{
    controller().setEnabled(true);
    menuBar().update();
    StatusNotifierSignalLog log(host, item->serviceName());
    label(); // every signal sent so far has been seen

    // Ten minutes of the one-second tick.
    constexpr int minutes = 10;
    for (int second = 0; second < minutes * 60; ++second) {
        fake.clock.advance(1);
        menuBar().update();
    }
    EXPECT_EQ(label(), "10m");
    EXPECT_LE(log.count("XAyatanaNewLabel"), minutes);
    EXPECT_GE(log.count("XAyatanaNewLabel"), minutes - 1);
    // The panel shows the label: the icon itself does not change with the minutes.
    EXPECT_EQ(log.count("NewIcon"), 0);
    ASSERT_FALSE(log.labels.empty());
    EXPECT_EQ(log.labels.back(), std::make_pair(QStringLiteral("10m"), QStringLiteral("00m")));
}

TEST_F(StatusNotifierLabelTest, ThePanelsMenuIsToldOnlyItsNewFiguresEachMinute)
{
    controller().setEnabled(true);
    menuBar().update();
    const uint revision = menuRevision();
    MenuSignalCount heard(host, item->serviceName());

    constexpr int minutes = 5;
    for (int minute = 0; minute < minutes; ++minute) {
        for (int second = 0; second < 60; ++second) {
            fake.clock.advance(1);
            menuBar().update();
        }
        label(); // the panel's own pace: the menu is rebuilt and told of once a minute
    }
    EXPECT_EQ(menuRevision(), revision) << "the panel never has to read the menu again";
    EXPECT_EQ(heard.layouts, 0);
    EXPECT_GE(heard.propertyUpdates, minutes - 1);
    EXPECT_LE(heard.propertyUpdates, minutes);
}

#include "StatusNotifierLabelTest.moc"
