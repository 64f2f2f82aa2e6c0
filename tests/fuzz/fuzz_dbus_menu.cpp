// The status menu's com.canonical.dbusmenu interface over any calls a panel could send: layouts of
// any item to any depth with any property names, properties of any ids, events of any name with any
// data, AboutToShow of any ids, with items added, removed, disabled and hidden between the calls.
// Every call is answered by the object; whatever is answered names only items of the menu and only
// the properties asked for; an id or property that names nothing is an error of GetProperty and
// reported by the group calls; and only a click on an enabled item without a submenu triggers it,
// once.
#include "FuzzDBus.h"

#include "platform/linux/DBusCallContext.h"
#include "platform/linux/DBusMenuAdaptor.h"
#include "platform/linux/DBusMenuTypes.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDBusArgument>
#include <QHash>
#include <QMenu>
#include <QSet>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

using platform::DBusMenuAdaptor;

const QString menuPath = QStringLiteral("/MenuBar");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
const QStringList methods { QStringLiteral("GetLayout"), QStringLiteral("GetGroupProperties"),
    QStringLiteral("GetProperty"), QStringLiteral("Event"), QStringLiteral("EventGroup"),
    QStringLiteral("AboutToShow"), QStringLiteral("AboutToShowGroup") };
const QStringList propertyNames { QStringLiteral("type"), QStringLiteral("label"), QStringLiteral("enabled"),
    QStringLiteral("visible"), QStringLiteral("icon-name"), QStringLiteral("icon-data"),
    QStringLiteral("shortcut"), QStringLiteral("toggle-type"), QStringLiteral("toggle-state"),
    QStringLiteral("children-display"), QStringLiteral("disposition"), QStringLiteral("accessible-desc") };
const QStringList eventIds { QStringLiteral("clicked"), QStringLiteral("hovered"), QStringLiteral("opened"),
    QStringLiteral("closed") };

// The menu of one input, exported as the status item exports its own, with a count of what each
// item was triggered.
class Menu {
public:
    Menu()
        : m_adaptor(new DBusMenuAdaptor(&m_context))
    {
        auto* open = m_menu.addAction(QStringLiteral("&Open"));
        open->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_O));
        m_menu.addAction(QStringLiteral("Disabled"))->setEnabled(false);
        m_menu.addSeparator();
        auto* check = m_menu.addAction(QStringLiteral("Check_me"));
        check->setCheckable(true);
        auto* group = new QActionGroup(&m_menu);
        for (const auto* text : { "One", "Two" }) {
            auto* radio = m_menu.addAction(QString::fromLatin1(text));
            radio->setCheckable(true);
            group->addAction(radio);
        }
        m_menu.addAction(QStringLiteral("Hidden"))->setVisible(false);
        m_submenu.setTitle(QStringLiteral("More"));
        m_submenu.addAction(QStringLiteral("Inner"));
        m_submenu.addAction(QStringLiteral("Inner &two"));
        m_menu.addMenu(&m_submenu);
        m_adaptor->setMenu(&m_menu, [this] { ++m_aboutToShowCount; });
        fuzz::require(
            fuzz::DBusPeer::shared().server().registerObject(menuPath, &m_context), "the menu is exported");
        for (QAction* action : allActions()) {
            watch(action);
        }
    }
    ~Menu() { fuzz::DBusPeer::shared().server().unregisterObject(menuPath); }

    // Every item of the menu and its submenus.
    QList<QAction*> allActions() const
    {
        QList<QAction*> actions = m_menu.actions();
        actions.append(m_submenu.actions());
        return actions;
    }
    // The item with this id, as the adaptor numbers them; nullptr for none.
    QAction* actionOf(int id) const
    {
        for (QAction* action : allActions()) {
            if (m_adaptor->idOf(action) == id) {
                return action;
            }
        }
        return nullptr;
    }
    bool names(int id) const { return id == 0 || actionOf(id) != nullptr; }
    int triggered(const QAction* action) const { return m_triggered.value(action); }
    int totalTriggered() const
    {
        int total = 0;
        for (const int count : m_triggered) {
            total += count;
        }
        return total;
    }

    // One change of the menu between calls, as the status menu changes itself.
    void change(fuzz::Bytes& bytes)
    {
        QList<QAction*> actions = allActions();
        const std::uint8_t what = bytes.byte();
        QAction* target = actions.isEmpty() ? nullptr : actions.at(bytes.byte() % actions.size());
        switch (what % 5) {
        case 0:
            watch(m_menu.addAction(bytes.text()));
            break;
        case 1:
            if (target && target != m_submenu.menuAction()) {
                delete target;
            }
            break;
        case 2:
            if (target) {
                target->setEnabled(!target->isEnabled());
            }
            break;
        case 3:
            if (target) {
                target->setVisible(!target->isVisible());
            }
            break;
        default:
            if (target) {
                target->setText(bytes.text());
            }
            break;
        }
        QCoreApplication::processEvents();
    }

    int aboutToShowCount() const { return m_aboutToShowCount; }

private:
    void watch(QAction* action)
    {
        QObject::connect(action, &QAction::triggered, &m_menu, [this, action] { ++m_triggered[action]; });
    }

    platform::DBusCallContext m_context;
    DBusMenuAdaptor* m_adaptor;
    QMenu m_menu;
    QMenu m_submenu;
    QHash<const QAction*, int> m_triggered;
    int m_aboutToShowCount = 0;
};

int anyId(fuzz::Bytes& bytes)
{
    return bytes.byte() < 220 ? bytes.byte() % 16 : bytes.integer();
}

QStringList someNames(fuzz::Bytes& bytes)
{
    QStringList names;
    for (int count = bytes.byte() % 4; count > 0; --count) {
        names << bytes.oneOf(propertyNames);
    }
    return names;
}

void checkProperties(const QVariantMap& properties, const QStringList& asked)
{
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        fuzz::require(propertyNames.contains(it.key()), "only properties of the protocol are sent");
        fuzz::require(asked.isEmpty() || asked.contains(it.key()), "only the properties asked for are sent");
    }
}

void checkLayout(
    const platform::DBusMenuLayoutItem& item, const Menu& menu, int depth, const QStringList& asked)
{
    fuzz::require(menu.names(item.id), "a layout names only items of the menu");
    checkProperties(item.properties, asked);
    fuzz::require(depth != 0 || item.children.isEmpty(), "a layout goes no deeper than asked");
    for (const QDBusVariant& child : item.children) {
        const auto read = qdbus_cast<platform::DBusMenuLayoutItem>(child.variant());
        fuzz::require(read.id != 0, "the menu is no child of an item");
        checkLayout(read, menu, depth < 0 ? -1 : depth - 1, asked);
    }
}

void oneCall(Menu& menu, fuzz::Bytes& bytes)
{
    const QString method = bytes.member(methods);
    const std::uint8_t shape = bytes.byte();
    // Now and then arguments of any types, which must be refused without harm.
    if (shape >= 232) {
        QVariantList arguments;
        for (int count = bytes.byte() % 4; count > 0; --count) {
            arguments.append(bytes.anyValue());
        }
        const int before = menu.totalTriggered();
        fuzz::DBusPeer::shared().call(fuzz::DBusPeer::methodCall(menuPath, menuInterface, method, arguments));
        fuzz::require(menu.totalTriggered() <= before + 1, "a call triggers one item at most");
        return;
    }
    auto& peer = fuzz::DBusPeer::shared();
    const auto call = [&](const QVariantList& arguments) {
        return peer.call(fuzz::DBusPeer::methodCall(menuPath, menuInterface, method, arguments));
    };
    if (method == QLatin1String("GetLayout")) {
        const int parent = anyId(bytes);
        const int depth = static_cast<int>(bytes.byte() % 5) - 1;
        const QStringList names = someNames(bytes);
        const QDBusMessage reply = call({ parent, depth, names });
        if (reply.type() == QDBusMessage::ReplyMessage) {
            fuzz::require(reply.signature() == QLatin1String("u(ia{sv}av)"), "a layout has its signature");
            const auto root = qdbus_cast<platform::DBusMenuLayoutItem>(reply.arguments().at(1));
            fuzz::require(root.id == parent, "the layout is the one asked for");
            if (menu.names(parent)) {
                checkLayout(root, menu, depth, names);
            } else {
                fuzz::require(root.children.isEmpty(), "an id that names nothing has no children");
            }
        }
    } else if (method == QLatin1String("GetGroupProperties")) {
        QList<int> ids;
        for (int count = bytes.byte() % 5; count > 0; --count) {
            ids << anyId(bytes);
        }
        const QStringList names = someNames(bytes);
        const QDBusMessage reply = call({ QVariant::fromValue(ids), names });
        fuzz::require(reply.type() == QDBusMessage::ReplyMessage, "properties of any ids are answered");
        const auto found = qdbus_cast<platform::DBusMenuItemPropertiesList>(reply.arguments().at(0));
        for (const auto& item : found) {
            fuzz::require(
                ids.contains(item.id) && menu.names(item.id), "only items asked for and in the menu");
            checkProperties(item.properties, names);
        }
    } else if (method == QLatin1String("GetProperty")) {
        const int id = anyId(bytes);
        const QString name = bytes.oneOf(propertyNames);
        const QDBusMessage reply = call({ id, name });
        const bool known = menu.names(id) && propertyNames.contains(name);
        fuzz::require((reply.type() == QDBusMessage::ReplyMessage) == known,
            "a property is answered exactly when the item and the property exist");
    } else if (method == QLatin1String("Event") || method == QLatin1String("EventGroup")) {
        QList<platform::DBusMenuEvent> events;
        for (int count = method == QLatin1String("Event") ? 1 : bytes.byte() % 4; count > 0; --count) {
            events.push_back(
                { anyId(bytes), bytes.oneOf(eventIds), QDBusVariant(bytes.anyValue()), bytes.number() });
        }
        QHash<const QAction*, int> expected;
        for (const auto& event : events) {
            QAction* action = menu.actionOf(event.id);
            if (action && event.eventId == QLatin1String("clicked") && action->isEnabled()
                && !action->isSeparator() && !action->menu()) {
                ++expected[action];
            }
        }
        QHash<const QAction*, int> before;
        for (QAction* action : menu.allActions()) {
            before[action] = menu.triggered(action);
        }
        const QDBusMessage reply = method == QLatin1String("Event")
            ? call({ events.front().id, events.front().eventId, QVariant::fromValue(events.front().data),
                events.front().timestamp })
            : call({ QVariant::fromValue(events) });
        fuzz::require(reply.type() == QDBusMessage::ReplyMessage, "events are answered");
        for (QAction* action : menu.allActions()) {
            fuzz::require(menu.triggered(action) - before.value(action) == expected.value(action),
                "a click triggers its enabled item once, and nothing else triggers anything");
        }
        if (method == QLatin1String("EventGroup")) {
            const auto idErrors = qdbus_cast<QList<int>>(reply.arguments().at(0));
            for (const auto& event : events) {
                fuzz::require(idErrors.contains(event.id) == !menu.names(event.id),
                    "exactly the events of ids that name nothing are reported");
            }
        }
    } else if (method == QLatin1String("AboutToShow")) {
        const int id = anyId(bytes);
        const int before = menu.aboutToShowCount();
        const QDBusMessage reply = call({ id });
        fuzz::require(
            reply.type() == QDBusMessage::ReplyMessage || !menu.names(id), "AboutToShow is answered");
        fuzz::require(menu.aboutToShowCount() == before + (id == 0 ? 1 : 0),
            "the menu is readied when it is about to show, and only then");
    } else if (method == QLatin1String("AboutToShowGroup")) {
        QList<int> ids;
        for (int count = bytes.byte() % 5; count > 0; --count) {
            ids << anyId(bytes);
        }
        const QDBusMessage reply = call({ QVariant::fromValue(ids) });
        fuzz::require(reply.type() == QDBusMessage::ReplyMessage, "AboutToShowGroup is answered");
        const auto idErrors = qdbus_cast<QList<int>>(reply.arguments().at(1));
        for (const int id : ids) {
            fuzz::require(
                idErrors.contains(id) == !menu.names(id), "exactly the ids that name nothing are reported");
        }
    } else {
        call({});
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_dbus_menu";
    static char* argv[] = { name, nullptr };
    static QApplication* application = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        fuzz::Folder::path();
        auto* created = new QApplication(argc, argv);
        platform::registerDBusMenuTypes();
        return created;
    }();
    static_cast<void>(application);

    fuzz::Bytes bytes(data, size);
    Menu menu;
    for (int step = 0; step < 12 && !bytes.atEnd(); ++step) {
        if (bytes.byte() < 40) {
            menu.change(bytes);
        } else {
            oneCall(menu, bytes);
        }
    }
    return 0;
}
