#include "ShortcutsTestSupport.h"
#include "support/PrivateSessionBus.h"

#include "libraries/keyboard-shortcuts/PortalShortcuts.h"
#include "libraries/keyboard-shortcuts/RecorderCocoa.h"
#include "platform/linux/GlobalShortcutsPortal.h"

#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

using KeyboardShortcuts::Key;
using KeyboardShortcuts::Name;
using KeyboardShortcuts::Shortcut;
namespace PortalShortcuts = KeyboardShortcuts::PortalShortcuts;

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The desktop portal's global shortcuts as KDE Plasma and GNOME offer them, answering every
// request at once and reporting the presses the test asks for.
class StandInGlobalShortcutsPortal : public QDBusVirtualObject {
public:
    explicit StandInGlobalShortcutsPortal(QDBusConnection connection)
        : m_connection(std::move(connection))
    {
    }

    void press(const QString& id, const QString& signal = QStringLiteral("Activated"))
    {
        QDBusMessage message = QDBusMessage::createSignal(portalPath, interface, signal);
        message << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0) << QVariantMap();
        m_connection.send(message);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        const QList<QVariant> arguments = message.arguments();
        if (message.member() == QLatin1String("Get") && arguments.value(0).toString() == interface) {
            m_connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            return true;
        }
        if (message.interface() != interface || arguments.isEmpty()) {
            return false;
        }
        const auto options = qdbus_cast<QVariantMap>(arguments.last());
        if (message.member() == QLatin1String("CreateSession")) {
            session
                = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                      .arg(sender(message), options.value(QStringLiteral("session_handle_token")).toString());
            respond(message, options, 0, { { QStringLiteral("session_handle"), session } });
            return true;
        }
        if (message.member() == QLatin1String("BindShortcuts") && arguments.size() == 4) {
            EXPECT_EQ(qdbus_cast<QDBusObjectPath>(arguments[0]).path(), session);
            bindings.push_back(qdbus_cast<platform::PortalShortcutList>(arguments[1]));
            respond(message, options, bindResponse, {});
            return true;
        }
        return false;
    }

    QString session;
    std::vector<platform::PortalShortcutList> bindings;
    // Set to refuse the binding, as a user who declines the desktop's dialog.
    uint bindResponse = 0;

private:
    static constexpr const char* interface = "org.freedesktop.portal.GlobalShortcuts";

    static QString sender(const QDBusMessage& message)
    {
        QString name = message.service().mid(1);
        return name.replace(u'.', u'_');
    }

    void respond(const QDBusMessage& message, const QVariantMap& options, uint response, QVariantMap results)
    {
        const QString path
            = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                  .arg(sender(message), options.value(QStringLiteral("handle_token")).toString());
        m_connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
        QTimer::singleShot(0, this, [this, path, response, results] {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            signal << response << results;
            m_connection.send(signal);
        });
    }

    QDBusConnection m_connection;
};

class PortalShortcutsTest : public ShortcutsTest {
protected:
    void SetUp() override
    {
        ShortcutsTest::SetUp();
        if (!bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon could not be started";
        }
        // A Wayland session: no key can be grabbed.
        hotKeys.available = false;
        qDBusRegisterMetaType<platform::PortalShortcut>();
        qDBusRegisterMetaType<platform::PortalShortcutList>();
        client = bus.connect(QStringLiteral("client"));
    }

    void TearDown() override
    {
        PortalShortcuts::resetForTesting();
        ShortcutsTest::TearDown();
    }

    void startPortal()
    {
        QDBusConnection connection = bus.connect(QStringLiteral("portal"));
        standIn = std::make_unique<StandInGlobalShortcutsPortal>(connection);
        ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        ASSERT_TRUE(connection.registerVirtualObject(portalPath, standIn.get()));
    }

    PrivateSessionBus bus;
    QDBusConnection client { QStringLiteral("none") };
    std::unique_ptr<StandInGlobalShortcutsPortal> standIn;
    const Name toggleMenu { "toggleMenu" };
    const Name toggleEnabled { "toggleEnabled" };
};

TEST_F(PortalShortcutsTest, TheNamesAreBoundWithTheirDescriptionsAndPreferredTriggers)
{
    startPortal();
    KeyboardShortcuts::setShortcut(Shortcut(Key::k, Qt::ControlModifier | Qt::AltModifier), toggleMenu);
    EXPECT_FALSE(KeyboardShortcuts::areGlobalShortcutsAvailable());
    int availabilityChanges = 0;
    QObject::connect(&KeyboardShortcuts::ShortcutChangeNotifier::shared(),
        &KeyboardShortcuts::ShortcutChangeNotifier::availabilityDidChange, &receiver,
        [&availabilityChanges] { ++availabilityChanges; });

    PortalShortcuts::bindWhereNeeded({ { toggleEnabled, QStringLiteral("Turn tracking on or off") },
                                         { toggleMenu, QStringLiteral("Open the menu") } },
        client);
    ASSERT_TRUE(QTest::qWaitFor([] { return PortalShortcuts::isBound(); }, 5000));
    ASSERT_EQ(standIn->bindings.size(), 1u);
    const platform::PortalShortcutList& bound = standIn->bindings.front();
    ASSERT_EQ(bound.size(), 2);
    EXPECT_EQ(bound[0].id, "toggleEnabled");
    EXPECT_EQ(bound[0].properties.value("description").toString(), "Turn tracking on or off");
    EXPECT_FALSE(bound[0].properties.contains("preferred_trigger"));
    EXPECT_EQ(bound[1].id, "toggleMenu");
    EXPECT_EQ(bound[1].properties.value("preferred_trigger").toString(), "CTRL+ALT+k");
    EXPECT_TRUE(KeyboardShortcuts::areGlobalShortcutsAvailable());
    EXPECT_EQ(availabilityChanges, 1);
}

TEST_F(PortalShortcutsTest, ActivationsRunTheNamesActionsAndDeactivationsTheirKeyUpActions)
{
    startPortal();
    std::vector<std::string> ran;
    KeyboardShortcuts::addKeyDownHandler(toggleMenu, [&ran] { ran.push_back("menu down"); });
    KeyboardShortcuts::addKeyUpHandler(toggleMenu, [&ran] { ran.push_back("menu up"); });
    KeyboardShortcuts::addKeyDownHandler(toggleEnabled, [&ran] { ran.push_back("enabled down"); });
    PortalShortcuts::bind(
        { { toggleEnabled, "Turn tracking on or off" }, { toggleMenu, "Open the menu" } }, client);
    ASSERT_TRUE(QTest::qWaitFor([] { return PortalShortcuts::isBound(); }, 5000));

    standIn->press("toggleMenu");
    ASSERT_TRUE(QTest::qWaitFor([&ran] { return !ran.empty(); }, 5000));
    standIn->press("toggleMenu", "Deactivated");
    standIn->press("unknown");
    standIn->press("toggleEnabled");
    ASSERT_TRUE(QTest::qWaitFor([&ran] { return ran.size() >= 3; }, 5000));
    QTest::qWait(20);
    EXPECT_THAT(ran, ::testing::ElementsAre("menu down", "menu up", "enabled down"));
}

TEST_F(PortalShortcutsTest, BindingWaitsForNoBusAndOnlyThePortalsActivationsRun)
{
    startPortal();
    std::vector<std::string> ran;
    KeyboardShortcuts::addKeyDownHandler(toggleMenu, [&ran] { ran.push_back("menu down"); });
    KeyboardShortcuts::addKeyDownHandler(toggleEnabled, [&ran] { ran.push_back("enabled down"); });
    EXPECT_TRUE(bus.finishesWhilePaused([&] {
        PortalShortcuts::bind(
            { { toggleEnabled, "Turn tracking on or off" }, { toggleMenu, "Open the menu" } }, client);
    }));
    ASSERT_TRUE(QTest::qWaitFor([] { return PortalShortcuts::isBound(); }, 5000));

    // Another process sending the portal's Activated for our session runs nothing.
    QDBusMessage fake = QDBusMessage::createSignal(
        portalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
    fake << QVariant::fromValue(QDBusObjectPath(standIn->session)) << QStringLiteral("toggleMenu")
         << qulonglong(0) << QVariantMap();
    PrivateSessionBus::sendSignal(bus.connect(QStringLiteral("other")), fake);
    standIn->press("toggleEnabled");
    ASSERT_TRUE(QTest::qWaitFor([&ran] { return !ran.empty(); }, 5000));
    EXPECT_THAT(ran, ::testing::ElementsAre("enabled down"));
}

TEST_F(PortalShortcutsTest, ARecordedShortcutIsOfferedToTheDesktopAgain)
{
    startPortal();
    PortalShortcuts::bind({ { toggleMenu, "Open the menu" } }, client);
    ASSERT_TRUE(QTest::qWaitFor([] { return PortalShortcuts::isBound(); }, 5000));
    KeyboardShortcuts::setShortcut(Shortcut(Key::f5, Qt::MetaModifier | Qt::ShiftModifier), toggleMenu);
    ASSERT_TRUE(QTest::qWaitFor([this] { return standIn->bindings.size() == 2; }, 5000));
    EXPECT_EQ(
        standIn->bindings.back().front().properties.value("preferred_trigger").toString(), "SHIFT+LOGO+F5");
    // Another name's change offers nothing.
    KeyboardShortcuts::setShortcut(Shortcut(Key::j, Qt::MetaModifier), Name("other"));
    QTest::qWait(50);
    EXPECT_EQ(standIn->bindings.size(), 2u);
}

TEST_F(PortalShortcutsTest, WithoutAPortalNothingPretendsToWork)
{
    PortalShortcuts::bind({ { toggleMenu, "Open the menu" } }, client);
    KeyboardShortcuts::RecorderCocoa recorder(toggleMenu);
    bool answered = false;
    QObject::connect(&KeyboardShortcuts::ShortcutChangeNotifier::shared(),
        &KeyboardShortcuts::ShortcutChangeNotifier::availabilityDidChange, &receiver,
        [&answered] { answered = true; });
    ASSERT_TRUE(QTest::qWaitFor([&answered] { return answered; }, 5000));
    EXPECT_FALSE(PortalShortcuts::isBound());
    EXPECT_FALSE(KeyboardShortcuts::areGlobalShortcutsAvailable());
    EXPECT_FALSE(recorder.isEnabled());
    EXPECT_EQ(recorder.toolTip(), "This desktop offers no global keyboard shortcuts to applications.");
}

TEST_F(PortalShortcutsTest, ADeclinedBindingLeavesTheRecordersDisabledAndAnAcceptedOneEnablesThem)
{
    startPortal();
    standIn->bindResponse = 1;
    KeyboardShortcuts::RecorderCocoa recorder(toggleMenu);
    EXPECT_FALSE(recorder.isEnabled());
    PortalShortcuts::bind({ { toggleMenu, "Open the menu" } }, client);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !standIn->bindings.empty(); }, 5000));
    QTest::qWait(50);
    EXPECT_FALSE(PortalShortcuts::isBound());
    EXPECT_FALSE(recorder.isEnabled());

    standIn->bindResponse = 0;
    PortalShortcuts::bind({ { toggleMenu, "Open the menu" } }, client);
    ASSERT_TRUE(QTest::qWaitFor([] { return PortalShortcuts::isBound(); }, 5000));
    EXPECT_TRUE(recorder.isEnabled());
}

TEST_F(ShortcutsTest, PreferredTriggersUseTheDesktopsNotation)
{
    EXPECT_EQ(PortalShortcuts::preferredTrigger(Shortcut(Key::a, Qt::ControlModifier)), "CTRL+a");
    EXPECT_EQ(PortalShortcuts::preferredTrigger(Shortcut(Key::comma, Qt::MetaModifier)), "LOGO+comma");
    EXPECT_EQ(PortalShortcuts::preferredTrigger(Shortcut(Key::return_, Qt::AltModifier | Qt::ShiftModifier)),
        "ALT+SHIFT+Return");
    EXPECT_EQ(PortalShortcuts::preferredTrigger(Shortcut(Key::function)), "");
}

} // namespace
