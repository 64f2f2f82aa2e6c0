#include "app/MenuBarFixture.h"

#include "platform/linux/StatusNotifierItemBackend.h"
#include "support/PrivateSessionBus.h"
#include "support/StandInStatusNotifierWatcher.h"
#include "support/StatusNotifierSignalLog.h"

namespace {

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
