#include "platform/linux/DBusMenuAdaptor.h"
#include "platform/linux/StatusNotifierItemBackend.h"

#include "support/BusCallers.h"
#include "support/PrivateSessionBus.h"
#include "support/StandInStatusNotifierWatcher.h"
#include "support/TerminationDelay.h"

#include <QAction>
#include <QActionGroup>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

using platform::DBusMenuItemPropertiesList;
using platform::DBusMenuLayoutItem;
using platform::DBusMenuShortcut;
using platform::StatusNotifierItemBackend;

namespace {

const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

// What a host listening to the menu receives.
class MenuSignals : public QObject {
    Q_OBJECT
public:
    std::vector<uint> layoutRevisions;
    std::vector<DBusMenuItemPropertiesList> updates;

public Q_SLOTS:
    void layoutUpdated(uint revision, int parent)
    {
        if (parent == 0) {
            layoutRevisions.push_back(revision);
        }
    }
    void itemsPropertiesUpdated(const QDBusMessage& message)
    {
        DBusMenuItemPropertiesList updated;
        message.arguments().at(0).value<QDBusArgument>() >> updated;
        updates.push_back(updated);
    }
};

// A layout read back as a host reads it, children included.
struct ReadItem {
    int id = 0;
    QVariantMap properties;
    std::vector<ReadItem> children;

    QString label() const { return properties.value(QStringLiteral("label")).toString(); }
    const ReadItem* find(const QString& wanted) const
    {
        if (label() == wanted) {
            return this;
        }
        for (const ReadItem& child : children) {
            if (const ReadItem* found = child.find(wanted)) {
                return found;
            }
        }
        return nullptr;
    }
};

ReadItem readItem(const QDBusArgument& argument)
{
    DBusMenuLayoutItem raw;
    argument >> raw;
    ReadItem item { raw.id, {}, {} };
    for (auto it = raw.properties.cbegin(); it != raw.properties.cend(); ++it) {
        // Structured values arrive still marshalled.
        item.properties.insert(it.key(), it.value());
    }
    for (const QDBusVariant& child : raw.children) {
        item.children.push_back(readItem(child.variant().value<QDBusArgument>()));
    }
    return item;
}

class DBusMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!bus.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not available";
        }
        platform::registerDBusMenuTypes();
        item = bus.connect(QStringLiteral("item"));
        host = bus.connect(QStringLiteral("host"));
        ASSERT_TRUE(item.isConnected());
        ASSERT_TRUE(host.isConnected());
    }

    QDBusMessage callMenu(const QString& method, const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(item.baseService(),
            QString::fromLatin1(StatusNotifierItemBackend::menuPath), menuInterface, method);
        call.setArguments(arguments);
        return PrivateSessionBus::callServing(host, call);
    }
    std::pair<uint, ReadItem> layout()
    {
        const QDBusMessage reply = callMenu(QStringLiteral("GetLayout"), { 0, -1, QStringList() });
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (reply.arguments().size() != 2) {
            return {};
        }
        return { reply.arguments().at(0).toUInt(), readItem(reply.arguments().at(1).value<QDBusArgument>()) };
    }
    void listen(MenuSignals& heard)
    {
        const QString service = item.baseService();
        const QString path = QString::fromLatin1(StatusNotifierItemBackend::menuPath);
        ASSERT_TRUE(host.connect(service, path, menuInterface, QStringLiteral("LayoutUpdated"), &heard,
            SLOT(layoutUpdated(uint, int))));
        ASSERT_TRUE(host.connect(service, path, menuInterface, QStringLiteral("ItemsPropertiesUpdated"),
            &heard, SLOT(itemsPropertiesUpdated(QDBusMessage))));
    }
    static bool serveUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 2000); }

    PrivateSessionBus bus;
    QDBusConnection item { QString() };
    QDBusConnection host { QString() };
};

} // namespace

TEST_F(DBusMenuTest, TheItemPointsHostsAtItsMenuAndTheLayoutHoldsEveryItem)
{
    StandInStatusNotifierWatcher watcher(bus.address(), true);
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    const QString itemService = backend.serviceName();
    const auto menuProperty = [&] {
        return PrivateSessionBus::property(host, itemService, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu"))
            .value<QDBusObjectPath>()
            .path();
    };
    EXPECT_EQ(menuProperty(), "/NO_DBUSMENU");
    EXPECT_FALSE(backend.exportsMenu());

    QMenu menu;
    QMenu more(QStringLiteral("More"));
    auto* header = menu.addAction(QStringLiteral("Total Today"));
    header->setEnabled(false);
    auto* disable = menu.addAction(QStringLiteral("Disable"));
    disable->setShortcut(QKeySequence(Qt::Key_D));
    menu.addSeparator();
    auto* dim = menu.addAction(QStringLiteral("Dim_while&&off"));
    dim->setCheckable(true);
    dim->setChecked(true);
    auto* settings = menu.addAction(QStringLiteral("Settings…"));
    settings->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Comma));
    more.addAction(QStringLiteral("&About"));
    menu.addMenu(&more);
    auto* quit = menu.addAction(QStringLiteral("Quit Kiruvo"));
    quit->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    backend.setMenu(&menu, {});
    EXPECT_TRUE(backend.exportsMenu());
    EXPECT_EQ(menuProperty(), QString::fromLatin1(StatusNotifierItemBackend::menuPath));
    EXPECT_EQ(PrivateSessionBus::property(host, item.baseService(),
                  QString::fromLatin1(StatusNotifierItemBackend::menuPath), menuInterface,
                  QStringLiteral("Version"))
                  .toUInt(),
        3u);

    const auto [revision, root] = layout();
    EXPECT_GT(revision, 0u);
    EXPECT_EQ(root.id, 0);
    ASSERT_EQ(root.children.size(), 7u);
    EXPECT_EQ(root.children[0].properties.value(QStringLiteral("enabled")), QVariant(false));
    // The bare key that chooses the item is its mnemonic.
    EXPECT_EQ(root.children[1].label(), "_Disable");
    EXPECT_FALSE(root.children[1].properties.contains(QStringLiteral("shortcut")));
    EXPECT_EQ(root.children[2].properties.value(QStringLiteral("type")).toString(), "separator");
    EXPECT_EQ(root.children[3].label(), "Dim__while&off");
    EXPECT_EQ(root.children[3].properties.value(QStringLiteral("toggle-type")).toString(), "checkmark");
    EXPECT_EQ(root.children[3].properties.value(QStringLiteral("toggle-state")).toInt(), 1);
    DBusMenuShortcut settingsKeys;
    root.children[4].properties.value(QStringLiteral("shortcut")).value<QDBusArgument>() >> settingsKeys;
    EXPECT_EQ(settingsKeys, (DBusMenuShortcut { { QStringLiteral("Control"), QStringLiteral("comma") } }));
    const ReadItem& moreItem = root.children[5];
    EXPECT_EQ(moreItem.properties.value(QStringLiteral("children-display")).toString(), "submenu");
    ASSERT_EQ(moreItem.children.size(), 1u);
    EXPECT_EQ(moreItem.children[0].label(), "_About");
    DBusMenuShortcut quitKeys;
    root.children[6].properties.value(QStringLiteral("shortcut")).value<QDBusArgument>() >> quitKeys;
    EXPECT_EQ(quitKeys, (DBusMenuShortcut { { QStringLiteral("Control"), QStringLiteral("q") } }));

    // Every id names its item for GetGroupProperties too.
    const QDBusMessage group = callMenu(QStringLiteral("GetGroupProperties"),
        { QVariant::fromValue(QList<int> { root.children[6].id }), QStringList { QStringLiteral("label") } });
    DBusMenuItemPropertiesList properties;
    group.arguments().at(0).value<QDBusArgument>() >> properties;
    ASSERT_EQ(properties.size(), 1);
    EXPECT_EQ(properties[0].properties,
        (QVariantMap { { QStringLiteral("label"), QStringLiteral("Quit Kiruvo") } }));
}

TEST_F(DBusMenuTest, WhereTheApplicationCannotPlaceItsMenuHostsAreToldTheItemIsOne)
{
    const auto itemIsMenu = [this](const StatusNotifierItemBackend& backend) {
        return PrivateSessionBus::property(host, backend.serviceName(), QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("ItemIsMenu"))
            .toBool();
    };
    // X11 here: Activate reaches the application, which opens its menu at the icon.
    StatusNotifierItemBackend onX11(item, { true, QColor(Qt::black), std::nullopt });
    EXPECT_FALSE(itemIsMenu(onX11));
    QDBusConnection second = bus.connect(QStringLiteral("second"));
    StatusNotifierItemBackend onWayland(second, { true, QColor(Qt::black), true });
    EXPECT_TRUE(itemIsMenu(onWayland));
}

TEST_F(DBusMenuTest, ChangesReachTheHostAndAClickTriggersTheItem)
{
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    QMenu menu;
    auto* disable = menu.addAction(QStringLiteral("Disable"));
    auto* newSession = menu.addAction(QStringLiteral("New Session"));
    int chosen = 0;
    QObject::connect(disable, &QAction::triggered, [&chosen] { ++chosen; });
    backend.setMenu(&menu, {});
    // The new menu's own announcement goes out first.
    QTest::qWait(1);
    MenuSignals heard;
    listen(heard);
    const auto [firstRevision, first] = layout();
    ASSERT_EQ(first.children.size(), 2u);

    // A state of an item: its properties, the default included so that the host turns it back.
    newSession->setEnabled(false);
    ASSERT_TRUE(serveUntil([&] { return !heard.updates.empty(); }));
    ASSERT_EQ(heard.updates.back().size(), 1);
    EXPECT_EQ(heard.updates.back()[0].id, first.children[1].id);
    EXPECT_EQ(heard.updates.back()[0].properties.value(QStringLiteral("enabled")), QVariant(false));
    newSession->setEnabled(true);
    ASSERT_TRUE(serveUntil([&] { return heard.updates.size() == 2; }));
    EXPECT_EQ(heard.updates.back()[0].properties.value(QStringLiteral("enabled")), QVariant(true));
    // A check mark follows its item.
    newSession->setCheckable(true);
    newSession->setChecked(true);
    ASSERT_TRUE(serveUntil([&] { return heard.updates.size() == 3; }));
    EXPECT_EQ(heard.updates.back()[0].properties.value(QStringLiteral("toggle-state")).toInt(), 1);
    newSession->setChecked(false);
    ASSERT_TRUE(serveUntil([&] { return heard.updates.size() == 4; }));
    EXPECT_EQ(heard.updates.back()[0].properties.value(QStringLiteral("toggle-state")).toInt(), 0);
    newSession->setCheckable(false);
    ASSERT_TRUE(serveUntil([&] { return heard.updates.size() == 5; }));
    EXPECT_FALSE(heard.updates.back()[0].properties.contains(QStringLiteral("toggle-type")));

    // Items come and go: a new revision of the layout.
    disable->setText(QStringLiteral("Enable"));
    menu.addAction(QStringLiteral("History…"));
    ASSERT_TRUE(serveUntil([&, before = firstRevision] {
        return !heard.layoutRevisions.empty() && heard.layoutRevisions.back() > before;
    }));
    const auto [secondRevision, second] = layout();
    EXPECT_EQ(secondRevision, heard.layoutRevisions.back());
    ASSERT_EQ(second.children.size(), 3u);
    EXPECT_EQ(second.children[0].label(), "Enable");
    EXPECT_EQ(second.children[0].id, first.children[0].id) << "an item keeps its id while it lives";

    // The host's click runs the item once the call has returned; a disabled one does nothing.
    EXPECT_EQ(
        callMenu(QStringLiteral("Event"),
            { second.children[0].id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u })
            .type(),
        QDBusMessage::ReplyMessage);
    ASSERT_TRUE(serveUntil([&] { return chosen == 1; }));
    int newSessions = 0;
    QObject::connect(newSession, &QAction::triggered, [&newSessions] { ++newSessions; });
    newSession->setEnabled(false);
    callMenu(QStringLiteral("Event"),
        { second.children[1].id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u });
    QTest::qWait(20);
    EXPECT_EQ(newSessions, 0);
    EXPECT_EQ(chosen, 1);
}

TEST_F(DBusMenuTest, AboutToShowRebuildsTheMenuFirst)
{
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    QMenu menu;
    int builds = 0;
    bool withHistory = false;
    const auto build = [&] {
        menu.clear();
        ++builds;
        menu.addAction(QStringLiteral("Started at %1").arg(builds));
        if (withHistory) {
            menu.addAction(QStringLiteral("History…"));
        }
    };
    build();
    backend.setMenu(&menu, build);
    const auto [firstRevision, first] = layout();
    MenuSignals heard;
    listen(heard);

    // The same items again: their new titles are told before the answer, the layout stands.
    QDBusMessage reply = callMenu(QStringLiteral("AboutToShow"), { 0 });
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_FALSE(reply.arguments().at(0).toBool());
    EXPECT_EQ(builds, 2);
    ASSERT_EQ(heard.updates.size(), 1u);
    ASSERT_EQ(heard.updates[0].size(), 1);
    EXPECT_EQ(heard.updates[0][0].id, first.children.at(0).id);
    EXPECT_EQ(heard.updates[0][0].properties.value(QStringLiteral("label")).toString(), "Started at 2");

    // An item more: the host must read the layout again.
    withHistory = true;
    reply = callMenu(QStringLiteral("AboutToShow"), { 0 });
    EXPECT_TRUE(reply.arguments().at(0).toBool()) << "the host must read the layout again";
    const auto [revision, root] = layout();
    EXPECT_GT(revision, firstRevision);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0].label(), "Started at 3");

    // The group form answers for the ids it knows and names the others.
    const QDBusMessage group
        = callMenu(QStringLiteral("AboutToShowGroup"), { QVariant::fromValue(QList<int> { 0, 4242 }) });
    ASSERT_EQ(group.type(), QDBusMessage::ReplyMessage) << group.errorMessage().toStdString();
    EXPECT_EQ(qdbus_cast<QList<int>>(group.arguments().at(1)), QList<int> { 4242 });
    EXPECT_EQ(builds, 4);
}

namespace {

// A menu built afresh, as the status menu is at each redraw: every item and submenu is new.
void rebuild(QMenu& menu, const std::function<void(QMenu&)>& items)
{
    menu.clear();
    for (QMenu* submenu : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        submenu->deleteLater();
    }
    items(menu);
}

// The status menu in small: a header, a figure, a checkmark, a submenu and commands.
struct StatusMenu {
    QString figure = QStringLiteral("1 h 5 min");
    QString about = QStringLiteral("About");
    bool quitEnabled = true;

    void operator()(QMenu& menu) const
    {
        menu.addAction(QStringLiteral("Current Session"))->setEnabled(false);
        menu.addAction(figure)->setEnabled(false);
        menu.addSeparator();
        auto* dim = menu.addAction(QStringLiteral("Dim while disabled"));
        dim->setCheckable(true);
        dim->setChecked(true);
        auto* more = new QMenu(QStringLiteral("More"), &menu);
        more->addAction(about);
        more->addSeparator();
        more->addAction(QStringLiteral("FAQ"));
        menu.addMenu(more);
        menu.addSeparator();
        auto* quit = menu.addAction(QStringLiteral("Quit Kiruvo"));
        quit->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_Q));
        quit->setEnabled(quitEnabled);
    }
};

std::vector<int> idsOf(const ReadItem& item)
{
    std::vector<int> ids { item.id };
    for (const ReadItem& child : item.children) {
        const std::vector<int> below = idsOf(child);
        ids.insert(ids.end(), below.begin(), below.end());
    }
    return ids;
}

} // namespace

TEST_F(DBusMenuTest, AMenuRebuiltWithTheSameItemsKeepsItsLayoutAndTellsOnlyWhatChanged)
{
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    QMenu menu;
    StatusMenu items;
    rebuild(menu, items);
    backend.setMenu(&menu, {});
    const auto [revision, first] = layout();
    ASSERT_EQ(first.children.size(), 7u);
    const int figureId = first.children[1].id;
    const int aboutId = first.children[4].children.at(0).id;
    MenuSignals heard;
    listen(heard);

    // A new figure: one update, of that item alone, told without the host asking.
    items.figure = QStringLiteral("1 h 6 min");
    rebuild(menu, items);
    ASSERT_TRUE(serveUntil([&] { return !heard.updates.empty(); }));
    ASSERT_EQ(heard.updates[0].size(), 1);
    EXPECT_EQ(heard.updates[0][0].id, figureId);
    EXPECT_EQ(heard.updates[0][0].properties.value(QStringLiteral("label")).toString(), "1 h 6 min");
    auto [sameRevision, second] = layout();
    EXPECT_EQ(sameRevision, revision);
    EXPECT_TRUE(heard.layoutRevisions.empty());
    EXPECT_EQ(idsOf(second), idsOf(first)) << "the new items answer to the ids the host has, submenus' too";
    EXPECT_EQ(second.children[1].label(), "1 h 6 min");
    EXPECT_EQ(second.children[1].properties.value(QStringLiteral("enabled")), QVariant(false));

    // Builds that change nothing, their replaced submenu deleted before and after they are told of:
    // nothing is told.
    QPointer<QMenu> replaced = menu.actions().at(4)->menu();
    rebuild(menu, items);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(replaced.isNull());
    layout();
    replaced = menu.actions().at(4)->menu();
    rebuild(menu, items);
    layout();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(replaced.isNull());
    std::tie(sameRevision, second) = layout();
    EXPECT_EQ(heard.updates.size(), 1u);
    EXPECT_TRUE(heard.layoutRevisions.empty());
    EXPECT_EQ(sameRevision, revision);
    EXPECT_EQ(idsOf(second), idsOf(first));

    // A state and a title in the submenu: each item once, with its state said even at its default.
    items.quitEnabled = false;
    items.about = QStringLiteral("About Kiruvo");
    rebuild(menu, items);
    ASSERT_TRUE(serveUntil([&] { return heard.updates.size() == 2; }));
    std::map<int, QVariantMap> told;
    for (const auto& update : heard.updates[1]) {
        told[update.id] = update.properties;
    }
    EXPECT_EQ(told.size(), 2u);
    EXPECT_EQ(told[aboutId].value(QStringLiteral("label")).toString(), "About Kiruvo");
    EXPECT_EQ(told[aboutId].value(QStringLiteral("enabled")), QVariant(true));
    EXPECT_EQ(told[first.children[6].id].value(QStringLiteral("enabled")), QVariant(false));

    // A change the host cannot see (a tool tip) tells it nothing either.
    menu.actions().at(0)->setToolTip(QStringLiteral("Since 9:00"));
    layout();
    EXPECT_EQ(heard.updates.size(), 2u);
    EXPECT_TRUE(heard.layoutRevisions.empty());
}

TEST_F(DBusMenuTest, AClickOnAnIdOfTheHostsLayoutReachesTheItemNowInItsPlace)
{
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    QMenu menu;
    QPointer<QAction> triggered;
    const auto build = [&](QMenu& built) {
        StatusMenu()(built);
        for (QAction* action : built.actions() + built.actions().at(4)->menu()->actions()) {
            QObject::connect(action, &QAction::triggered, [&triggered, action] { triggered = action; });
        }
    };
    rebuild(menu, build);
    backend.setMenu(&menu, {});
    const auto [revision, root] = layout();
    const int quitId = root.children.at(6).id;
    const int faqId = root.children.at(4).children.at(2).id;

    const auto click = [&](int id) {
        triggered = nullptr;
        const QDBusMessage reply = callMenu(QStringLiteral("EventGroup"),
            { QVariant::fromValue(
                platform::DBusMenuEventList { { id, QStringLiteral("clicked"), QDBusVariant(0), 0u } }) });
        EXPECT_EQ(qdbus_cast<QList<int>>(reply.arguments().at(0)), QList<int>()) << "the id names an item";
        serveUntil([&] { return !triggered.isNull(); });
        return triggered.data();
    };
    // The click comes before the rebuilt menu was told of, and after.
    rebuild(menu, build);
    EXPECT_EQ(click(quitId), menu.actions().at(6));
    rebuild(menu, build);
    layout();
    EXPECT_EQ(click(faqId), menu.actions().at(4)->menu()->actions().at(2));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(click(faqId), menu.actions().at(4)->menu()->actions().at(2));

    // The submenu's id still opens it.
    const QDBusMessage shown = callMenu(
        QStringLiteral("AboutToShowGroup"), { QVariant::fromValue(QList<int> { root.children.at(4).id }) });
    EXPECT_EQ(qdbus_cast<QList<int>>(shown.arguments().at(1)), QList<int>());
}

TEST_F(DBusMenuTest, AMenuRebuiltWithOtherItemsIsANewLayout)
{
    const std::vector<std::pair<const char*, std::function<void(QMenu&)>>> otherShapes {
        { "an item more",
            [](QMenu& menu) {
                StatusMenu()(menu);
                menu.addAction(QStringLiteral("Continue"));
            } },
        { "a separator moved",
            [](QMenu& menu) {
                StatusMenu()(menu);
                menu.insertSeparator(menu.actions().at(1));
                menu.removeAction(menu.actions().at(3));
            } },
        { "a submenu in the place of an item",
            [](QMenu& menu) {
                StatusMenu()(menu);
                auto* debug = new QMenu(QStringLiteral("Debug"), &menu);
                debug->addAction(QStringLiteral("Log"));
                QAction* figure = menu.actions().at(1);
                menu.insertMenu(figure, debug);
                menu.removeAction(figure);
            } },
        { "an item of a submenu more",
            [](QMenu& menu) {
                StatusMenu()(menu);
                menu.actions().at(4)->menu()->addAction(QStringLiteral("Website"));
            } },
        { "a checkmark turned into a choice of one",
            [](QMenu& menu) {
                StatusMenu()(menu);
                (new QActionGroup(&menu))->addAction(menu.actions().at(3));
            } },
    };
    for (const auto& [what, build] : otherShapes) {
        SCOPED_TRACE(what);
        StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
        QMenu menu;
        rebuild(menu, StatusMenu());
        backend.setMenu(&menu, {});
        const auto [revision, before] = layout();
        MenuSignals heard;
        listen(heard);

        rebuild(menu, build);
        ASSERT_TRUE(serveUntil([&] { return !heard.layoutRevisions.empty(); }));
        EXPECT_GT(heard.layoutRevisions.back(), revision);
        const auto [newRevision, after] = layout();
        EXPECT_EQ(newRevision, heard.layoutRevisions.back());
        EXPECT_TRUE(heard.updates.empty());
        EXPECT_NE(idsOf(after), idsOf(before));
    }
}

TEST_F(DBusMenuTest, EveryCallIsAnsweredAtOnceEvenBeforeTheFirstLayout)
{
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    QMenu menu;
    QMenu more(QStringLiteral("More"));
    menu.addAction(QStringLiteral("Total Today"))->setEnabled(false);
    auto* disable = menu.addAction(QStringLiteral("Disable"));
    more.addAction(QStringLiteral("About"));
    menu.addMenu(&more);
    int chosen = 0;
    QObject::connect(disable, &QAction::triggered, [&chosen] { ++chosen; });
    backend.setMenu(&menu, {});

    // A host that waits its whole time-out for an answer stalls its panel: a short deadline here.
    const auto ask = [this](const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(item.baseService(),
            QString::fromLatin1(StatusNotifierItemBackend::menuPath), menuInterface, method);
        call.setArguments(arguments);
        QDBusPendingCall pending = host.asyncCall(call, 1000);
        while (!pending.isFinished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        const QDBusMessage reply = pending.reply();
        EXPECT_NE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.NoReply"))
            << method.toStdString() << " left unanswered";
        return reply;
    };
    const auto property = [&](int id, const QString& name) {
        const QDBusMessage reply = ask(QStringLiteral("GetProperty"), { id, name });
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().isEmpty() ? QVariant()
                                           : reply.arguments().front().value<QDBusVariant>().variant();
    };

    // Before any layout was read, the items already have the ids that the layout will list.
    EXPECT_EQ(property(1, QStringLiteral("label")).toString(), "Total Today");
    EXPECT_EQ(property(1, QStringLiteral("enabled")), QVariant(false));
    // Properties left at the protocol's default are answered with it.
    EXPECT_EQ(property(2, QStringLiteral("enabled")), QVariant(true));
    EXPECT_EQ(property(2, QStringLiteral("visible")), QVariant(true));
    EXPECT_EQ(property(2, QStringLiteral("type")).toString(), "standard");
    EXPECT_EQ(property(2, QStringLiteral("toggle-state")), QVariant(-1));
    EXPECT_EQ(property(2, QStringLiteral("children-display")).toString(), "");
    EXPECT_EQ(property(0, QStringLiteral("children-display")).toString(), "submenu");
    EXPECT_EQ(property(4, QStringLiteral("label")).toString(), "About") << "submenus are numbered too";

    // An id or a property that names nothing is an error, not silence.
    for (const auto& [id, name] :
        { std::pair { 4242, QStringLiteral("label") }, std::pair { -1, QStringLiteral("enabled") },
            std::pair { 2, QStringLiteral("no-such-property") }, std::pair { 2, QString() } }) {
        const QDBusMessage reply = ask(QStringLiteral("GetProperty"), { id, name });
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << id << " " << name.toStdString();
        EXPECT_EQ(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    }

    // A click before the first layout acts on the menu as built.
    EXPECT_EQ(ask(QStringLiteral("Event"),
                  { 2, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u })
                  .type(),
        QDBusMessage::ReplyMessage);
    ASSERT_TRUE(serveUntil([&] { return chosen == 1; }));

    // An item added later has its id at once, and the layout agrees with what was answered.
    auto* added = menu.addAction(QStringLiteral("History…"));
    EXPECT_EQ(property(5, QStringLiteral("label")).toString(), "History…");
    const auto [revision, root] = layout();
    ASSERT_EQ(root.children.size(), 4u);
    EXPECT_EQ(root.children[1].id, 2);
    EXPECT_EQ(root.children[2].children.at(0).id, 4);
    EXPECT_EQ(root.children[3].id, 5);
    static_cast<void>(added);

    // The other methods answer too, whatever they are given.
    EXPECT_EQ(ask(QStringLiteral("GetGroupProperties"),
                  { QVariant::fromValue(QList<int> { 1, 4242 }), QStringList { QStringLiteral("enabled") } })
                  .type(),
        QDBusMessage::ReplyMessage);
    EXPECT_NE(
        ask(QStringLiteral("GetLayout"), { 4242, -1, QStringList() }).type(), QDBusMessage::InvalidMessage);
    EXPECT_NE(ask(QStringLiteral("AboutToShow"), { 4242 }).type(), QDBusMessage::InvalidMessage);
    EXPECT_NE(ask(QStringLiteral("Event"),
                  { 4242, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u })
                  .type(),
        QDBusMessage::InvalidMessage);
}

TEST(DBusMenuValues, LabelsKeepTheirLettersAndShortcutsNameTheirKeys)
{
    using platform::DBusMenuAdaptor;
    EXPECT_EQ(DBusMenuAdaptor::labelOf(QStringLiteral("&Quit")), "_Quit");
    EXPECT_EQ(DBusMenuAdaptor::labelOf(QStringLiteral("History…"), Qt::Key_H), "_History…");
    EXPECT_EQ(DBusMenuAdaptor::labelOf(QStringLiteral("New Session"), Qt::Key_S), "New _Session");
    EXPECT_EQ(DBusMenuAdaptor::labelOf(QStringLiteral("a_b && c")), "a__b & c");
    EXPECT_EQ(DBusMenuAdaptor::labelOf(QStringLiteral("Trailing&")), "Trailing&");
    EXPECT_EQ(DBusMenuAdaptor::labelOf(QStringLiteral("Nothing"), Qt::Key_Z), "Nothing");
    EXPECT_EQ(DBusMenuAdaptor::shortcutOf(QKeySequence(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_F5)),
        (DBusMenuShortcut { { QStringLiteral("Control"), QStringLiteral("Shift"), QStringLiteral("F5") } }));
    EXPECT_EQ(DBusMenuAdaptor::shortcutOf(QKeySequence(Qt::MetaModifier | Qt::AltModifier | Qt::Key_Return)),
        (DBusMenuShortcut { { QStringLiteral("Alt"), QStringLiteral("Super"), QStringLiteral("Return") } }));
}

#include "DBusMenuTest.moc"

// A program that sends AboutToShow for the whole menu for two seconds without wanting answers, as
// fast as it can: each waits for its turn among the connection's calls, so that the menu is built
// afresh a few times, not once per call, and a SIGTERM behind them all is acted on within a second.
// A host that reads its answers is answered meanwhile.
TEST_F(DBusMenuTest, ALoopOfCallsKeepsNoSignalWaitingNorTheHost)
{
    if (!BusCallers::available()) {
        GTEST_SKIP() << "python3 with its D-Bus module is not available";
    }
    StatusNotifierItemBackend backend(item, { true, QColor(Qt::black), false });
    QMenu menu;
    int builds = 0;
    const auto build = [&] {
        ++builds;
        menu.clear();
        for (int i = 0; i < 12; ++i) {
            menu.addAction(QStringLiteral("Item %1 of build %2").arg(i).arg(builds));
        }
    };
    build();
    backend.setMenu(&menu, build);
    BusCallers callers(bus.address(),
        { item.baseService(), QString::fromLatin1(StatusNotifierItemBackend::menuPath), menuInterface,
            QStringLiteral("AboutToShow"), { 0 }, true },
        1, 0, 2.0);
    const int sent = callers.serveUntilSent();
    ASSERT_GT(sent, 1000);

    EXPECT_TRUE(terminatesWithinASecond());
    const auto [revision, root] = layout();
    EXPECT_EQ(root.children.size(), 12u);
    EXPECT_LT(builds, sent / 10);
}
