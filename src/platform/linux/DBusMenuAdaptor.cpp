#include "platform/linux/DBusMenuAdaptor.h"

#include "platform/linux/BusCallQueue.h"
#include "platform/linux/DBusCallContext.h"

#include <QAction>
#include <QActionEvent>
#include <QActionGroup>
#include <QBuffer>
#include <QDBusError>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>

#include <algorithm>

namespace platform {

namespace {

// The properties an update may take away again.
const QStringList& removableProperties()
{
    static const QStringList names { QStringLiteral("label"), QStringLiteral("enabled"),
        QStringLiteral("visible"), QStringLiteral("toggle-type"), QStringLiteral("toggle-state"),
        QStringLiteral("children-display"), QStringLiteral("shortcut"), QStringLiteral("icon-data") };
    return names;
}

QVariantMap filtered(const QVariantMap& properties, const QStringList& names)
{
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap result;
    for (const QString& name : names) {
        if (const auto found = properties.constFind(name); found != properties.constEnd()) {
            result.insert(name, found.value());
        }
    }
    return result;
}

// The X key name that hosts turn back into a key ("q", "comma", "F5").
QString keyName(Qt::Key key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return QString(QChar(key)).toLower();
    }
    static const QHash<int, QString> names {
        { Qt::Key_Comma, QStringLiteral("comma") },
        { Qt::Key_Period, QStringLiteral("period") },
        { Qt::Key_Slash, QStringLiteral("slash") },
        { Qt::Key_Backslash, QStringLiteral("backslash") },
        { Qt::Key_Semicolon, QStringLiteral("semicolon") },
        { Qt::Key_Apostrophe, QStringLiteral("apostrophe") },
        { Qt::Key_Minus, QStringLiteral("minus") },
        { Qt::Key_Equal, QStringLiteral("equal") },
        { Qt::Key_Plus, QStringLiteral("plus") },
        { Qt::Key_BracketLeft, QStringLiteral("bracketleft") },
        { Qt::Key_BracketRight, QStringLiteral("bracketright") },
        { Qt::Key_QuoteLeft, QStringLiteral("grave") },
        { Qt::Key_Space, QStringLiteral("space") },
        { Qt::Key_Return, QStringLiteral("Return") },
        { Qt::Key_Enter, QStringLiteral("KP_Enter") },
        { Qt::Key_Escape, QStringLiteral("Escape") },
        { Qt::Key_Tab, QStringLiteral("Tab") },
        { Qt::Key_Backspace, QStringLiteral("BackSpace") },
        { Qt::Key_Delete, QStringLiteral("Delete") },
        { Qt::Key_Insert, QStringLiteral("Insert") },
        { Qt::Key_Home, QStringLiteral("Home") },
        { Qt::Key_End, QStringLiteral("End") },
        { Qt::Key_PageUp, QStringLiteral("Prior") },
        { Qt::Key_PageDown, QStringLiteral("Next") },
        { Qt::Key_Up, QStringLiteral("Up") },
        { Qt::Key_Down, QStringLiteral("Down") },
        { Qt::Key_Left, QStringLiteral("Left") },
        { Qt::Key_Right, QStringLiteral("Right") },
    };
    if (const auto found = names.constFind(key); found != names.constEnd()) {
        return found.value();
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    }
    return QKeySequence(key).toString(QKeySequence::PortableText);
}

// A bare letter or digit chooses its item while the menu is open: the host's mnemonic.
int mnemonicKeyOf(const QAction& action)
{
    const QKeySequence shortcut = action.shortcut();
    if (shortcut.count() != 1 || shortcut[0].keyboardModifiers() != Qt::NoModifier) {
        return 0;
    }
    const Qt::Key key = shortcut[0].key();
    return (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) ? key : 0;
}

QByteArray pngOf(const QIcon& icon)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    icon.pixmap(QSize(16, 16)).save(&buffer, "PNG");
    return data;
}

} // namespace

DBusMenuAdaptor::DBusMenuAdaptor(QObject* parent)
    : QDBusAbstractAdaptor(parent)
{
    registerDBusMenuTypes();
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &DBusMenuAdaptor::flush);
}

DBusMenuAdaptor::~DBusMenuAdaptor()
{
    for (QMenu* menu : std::as_const(m_followed)) {
        menu->removeEventFilter(this);
    }
}

void DBusMenuAdaptor::setMenu(QMenu* menu, std::function<void()> aboutToShow)
{
    for (QMenu* followed : std::as_const(m_followed)) {
        followed->removeEventFilter(this);
    }
    m_followed.clear();
    m_ids.clear();
    m_actions.clear();
    m_changedIds.clear();
    m_published.reset();
    m_publishedProperties.clear();
    m_menu = menu;
    m_aboutToShow = std::move(aboutToShow);
    if (menu) {
        number(menu);
    }
    m_layoutChanged = true;
    scheduleFlush();
}

QString DBusMenuAdaptor::textDirection() const
{
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

int DBusMenuAdaptor::idOf(QAction* action)
{
    if (const auto found = m_ids.constFind(action); found != m_ids.constEnd()) {
        return found.value();
    }
    const int id = m_nextId++;
    m_ids.insert(action, id);
    m_actions.insert(id, action);
    // Only the address is kept, to forget it: the item is gone by then. Its id is looked up then,
    // as a rebuilt menu's item may have taken it over meanwhile (or it may have given up its own).
    connect(action, &QObject::destroyed, this, [this, action] {
        const auto found = m_ids.constFind(action);
        if (found == m_ids.constEnd()) {
            return;
        }
        const int gone = found.value();
        m_ids.erase(found);
        if (const auto holder = m_actions.constFind(gone);
            holder != m_actions.constEnd() && (holder.value().isNull() || holder.value() == action)) {
            m_actions.erase(holder);
            m_changedIds.remove(gone);
        }
    });
    return id;
}

QAction* DBusMenuAdaptor::actionOf(int id) const
{
    const auto found = m_actions.constFind(id);
    return found == m_actions.constEnd() ? nullptr : found.value().data();
}

QString DBusMenuAdaptor::labelOf(const QString& text, int mnemonicKey)
{
    QString plain;
    qsizetype markAt = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && markAt < 0) {
                markAt = plain.size();
            }
        }
        plain += text[i];
    }
    if (markAt < 0 && mnemonicKey != 0) {
        markAt = plain.indexOf(QChar(mnemonicKey), 0, Qt::CaseInsensitive);
    }
    QString label;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        if (i == markAt) {
            label += u'_';
        }
        label += plain[i];
        if (plain[i] == u'_') {
            label += u'_';
        }
    }
    return label;
}

DBusMenuShortcut DBusMenuAdaptor::shortcutOf(const QKeySequence& sequence)
{
    DBusMenuShortcut result;
    for (int i = 0; i < sequence.count(); ++i) {
        const QKeyCombination combination = sequence[i];
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        QStringList keys;
        if (modifiers.testFlag(Qt::ControlModifier)) {
            keys << QStringLiteral("Control");
        }
        if (modifiers.testFlag(Qt::AltModifier)) {
            keys << QStringLiteral("Alt");
        }
        if (modifiers.testFlag(Qt::ShiftModifier)) {
            keys << QStringLiteral("Shift");
        }
        if (modifiers.testFlag(Qt::MetaModifier)) {
            keys << QStringLiteral("Super");
        }
        keys << keyName(combination.key());
        result << keys;
    }
    return result;
}

QVariantMap DBusMenuAdaptor::propertiesOf(const QAction& action)
{
    QVariantMap properties;
    if (!action.isVisible()) {
        properties.insert(QStringLiteral("visible"), false);
    }
    if (action.isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        return properties;
    }
    properties.insert(QStringLiteral("label"), labelOf(action.text(), mnemonicKeyOf(action)));
    if (!action.isEnabled()) {
        properties.insert(QStringLiteral("enabled"), false);
    }
    if (action.isCheckable()) {
        const QActionGroup* group = action.actionGroup();
        properties.insert(QStringLiteral("toggle-type"),
            group && group->isExclusive() ? QStringLiteral("radio") : QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), action.isChecked() ? 1 : 0);
    }
    if (action.menu()) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    // Bare letters are the title's mnemonic instead.
    const QKeySequence shortcut = action.shortcut();
    if (!shortcut.isEmpty() && shortcut[0].keyboardModifiers() != Qt::NoModifier) {
        properties.insert(QStringLiteral("shortcut"), QVariant::fromValue(shortcutOf(shortcut)));
    }
    if (!action.icon().isNull()) {
        properties.insert(QStringLiteral("icon-data"), pngOf(action.icon()));
    }
    return properties;
}

void DBusMenuAdaptor::follow(QMenu* menu)
{
    if (m_followed.contains(menu)) {
        return;
    }
    m_followed.insert(menu);
    menu->installEventFilter(this);
    connect(menu, &QObject::destroyed, this, [this, menu] { m_followed.remove(menu); });
}

void DBusMenuAdaptor::number(QMenu* menu)
{
    follow(menu);
    for (QAction* child : menu->actions()) {
        idOf(child);
        if (QMenu* submenu = child->menu(); submenu && !m_followed.contains(submenu)) {
            number(submenu);
        }
    }
}

bool DBusMenuAdaptor::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ActionAdded: {
        QAction* action = static_cast<QActionEvent*>(event)->action();
        idOf(action);
        if (QMenu* submenu = action->menu(); submenu && !m_followed.contains(submenu)) {
            number(submenu);
        }
        m_layoutChanged = true;
        scheduleFlush();
        break;
    }
    case QEvent::ActionRemoved:
        m_layoutChanged = true;
        scheduleFlush();
        break;
    case QEvent::ActionChanged: {
        QAction* action = static_cast<QActionEvent*>(event)->action();
        if (const auto found = m_ids.constFind(action); found != m_ids.constEnd()) {
            // A submenu given to an item brings children.
            if (QMenu* submenu = action->menu(); submenu && !m_followed.contains(submenu)) {
                number(submenu);
                m_layoutChanged = true;
            }
            m_changedIds.insert(found.value());
            scheduleFlush();
        }
        break;
    }
    default:
        break;
    }
    return QDBusAbstractAdaptor::eventFilter(watched, event);
}

void DBusMenuAdaptor::scheduleFlush()
{
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void DBusMenuAdaptor::settle()
{
    if (m_flushTimer.isActive()) {
        m_flushTimer.stop();
        flush();
    }
}

void DBusMenuAdaptor::flush()
{
    if (m_layoutChanged) {
        m_layoutChanged = false;
        m_changedIds.clear();
        QHash<int, QVariantMap> properties;
        QSet<QMenu*> path;
        PublishedItems items = m_menu ? itemsOf(m_menu, properties, path) : PublishedItems();
        if (m_published && sameShape(*m_published, items) && adoptIds(*m_published, items, properties)) {
            QList<int> differing;
            for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
                const auto told = m_publishedProperties.constFind(it.key());
                if (told == m_publishedProperties.constEnd() || told.value() != it.value()) {
                    differing << it.key();
                }
            }
            std::sort(differing.begin(), differing.end());
            m_published = std::move(items);
            m_publishedProperties = std::move(properties);
            tellProperties(differing);
            return;
        }
        m_published = std::move(items);
        m_publishedProperties = std::move(properties);
        ++m_revision;
        Q_EMIT LayoutUpdated(m_revision, 0);
        return;
    }
    QList<int> differing;
    for (const int id : std::as_const(m_changedIds)) {
        const QAction* action = actionOf(id);
        if (!action) {
            continue;
        }
        const QVariantMap properties = propertiesOf(*action);
        // Only the host's items are kept: anything else is in the layout the host is yet to read.
        if (const auto told = m_publishedProperties.find(id); told != m_publishedProperties.end()) {
            if (told.value() == properties) {
                continue;
            }
            told.value() = properties;
        }
        differing << id;
    }
    m_changedIds.clear();
    std::sort(differing.begin(), differing.end());
    tellProperties(differing);
}

void DBusMenuAdaptor::tellProperties(const QList<int>& ids)
{
    DBusMenuItemPropertiesList updated;
    DBusMenuItemPropertyNamesList removed;
    for (const int id : ids) {
        const QAction* action = actionOf(id);
        if (!action) {
            continue;
        }
        QVariantMap properties = propertiesOf(*action);
        // A state back at its default is said, not left out, so that the host changes it back.
        properties.insert(QStringLiteral("enabled"), action->isEnabled());
        properties.insert(QStringLiteral("visible"), action->isVisible());
        QStringList gone;
        for (const QString& name : removableProperties()) {
            if (!properties.contains(name)) {
                gone << name;
            }
        }
        updated.push_back({ id, properties });
        if (!gone.isEmpty()) {
            removed.push_back({ id, gone });
        }
    }
    if (!updated.isEmpty()) {
        Q_EMIT ItemsPropertiesUpdated(updated, removed);
    }
}

DBusMenuAdaptor::PublishedItems DBusMenuAdaptor::itemsOf(
    QMenu* menu, QHash<int, QVariantMap>& properties, QSet<QMenu*>& path)
{
    follow(menu);
    path.insert(menu);
    PublishedItems items;
    for (QAction* child : menu->actions()) {
        PublishedItem item;
        item.id = idOf(child);
        if (child->isSeparator()) {
            item.kind
                = child->text().isEmpty() ? PublishedItem::Kind::separator : PublishedItem::Kind::section;
        } else if (child->isCheckable()) {
            const QActionGroup* group = child->actionGroup();
            item.kind
                = group && group->isExclusive() ? PublishedItem::Kind::radio : PublishedItem::Kind::checkmark;
        }
        properties.insert(item.id, propertiesOf(*child));
        if (QMenu* submenu = child->menu()) {
            item.hasSubmenu = true;
            // A menu that holds itself is listed once.
            if (!path.contains(submenu)) {
                item.children = itemsOf(submenu, properties, path);
            }
        }
        items.push_back(std::move(item));
    }
    path.remove(menu);
    return items;
}

bool DBusMenuAdaptor::sameShape(const PublishedItems& published, const PublishedItems& rebuilt)
{
    return std::equal(published.cbegin(), published.cend(), rebuilt.cbegin(), rebuilt.cend(),
        [](const PublishedItem& before, const PublishedItem& now) {
            return before.kind == now.kind && before.hasSubmenu == now.hasSubmenu
                && sameShape(before.children, now.children);
        });
}

bool DBusMenuAdaptor::adoptIds(
    const PublishedItems& published, PublishedItems& rebuilt, QHash<int, QVariantMap>& properties)
{
    // Submenus are rebuilt with their menu (the status menu's are new menus each time): their items
    // take the old ids like the others, else every rebuild would be a new layout to read.
    QHash<int, int> publishedIdOf;
    QHash<int, int> rebuiltIdOf;
    const std::function<bool(const PublishedItems&, const PublishedItems&)> pair =
        [&](const PublishedItems& before, const PublishedItems& now) {
            for (std::size_t i = 0; i < before.size(); ++i) {
                const int oldId = before[i].id;
                const int newId = now[i].id;
                // An item listed twice must be one item in both menus.
                if (publishedIdOf.value(newId, oldId) != oldId || rebuiltIdOf.value(oldId, newId) != newId) {
                    return false;
                }
                publishedIdOf.insert(newId, oldId);
                rebuiltIdOf.insert(oldId, newId);
                if (!pair(before[i].children, now[i].children)) {
                    return false;
                }
            }
            return true;
        };
    if (!pair(published, rebuilt)) {
        return false;
    }
    std::vector<std::pair<QAction*, int>> moves;
    for (auto it = publishedIdOf.cbegin(); it != publishedIdOf.cend(); ++it) {
        QAction* action = actionOf(it.key());
        if (!action) {
            return false;
        }
        moves.emplace_back(action, it.value());
    }
    // An old item that still lives (a replaced submenu's, until it is deleted) gives up its id.
    for (auto it = rebuiltIdOf.cbegin(); it != rebuiltIdOf.cend(); ++it) {
        if (QAction* holder = actionOf(it.key())) {
            m_ids.remove(holder);
        }
        m_actions.remove(it.key());
        m_actions.remove(it.value());
    }
    for (const auto& [action, id] : moves) {
        m_ids.insert(action, id);
        m_actions.insert(id, action);
    }
    const std::function<void(PublishedItems&)> renumber = [&](PublishedItems& items) {
        for (PublishedItem& item : items) {
            item.id = publishedIdOf.value(item.id);
            renumber(item.children);
        }
    };
    renumber(rebuilt);
    QHash<int, QVariantMap> renumbered;
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        renumbered.insert(publishedIdOf.value(it.key()), it.value());
    }
    properties = std::move(renumbered);
    return true;
}

DBusMenuLayoutItem DBusMenuAdaptor::layoutOf(int id, QMenu* menu, int depth, const QStringList& propertyNames)
{
    DBusMenuLayoutItem item;
    item.id = id;
    if (id == 0) {
        item.properties
            = filtered({ { QStringLiteral("children-display"), QStringLiteral("submenu") } }, propertyNames);
    } else if (const QAction* action = actionOf(id)) {
        item.properties = filtered(propertiesOf(*action), propertyNames);
    }
    if (!menu || depth == 0) {
        return item;
    }
    follow(menu);
    for (QAction* child : menu->actions()) {
        const int childId = idOf(child);
        item.children.push_back(QDBusVariant(QVariant::fromValue(
            layoutOf(childId, child->menu(), depth < 0 ? -1 : depth - 1, propertyNames))));
    }
    return item;
}

uint DBusMenuAdaptor::GetLayout(
    int parentId, int recursionDepth, const QStringList& propertyNames, DBusMenuLayoutItem& layout)
{
    if (BusCallQueue::answerInTurn(this, BusCallQueue::Effect::none,
            [this, parentId, recursionDepth, propertyNames](const QDBusMessage& call) {
                DBusMenuLayoutItem layout;
                const uint revision = layoutNow(parentId, recursionDepth, propertyNames, layout);
                return call.createReply({ QVariant::fromValue(revision), QVariant::fromValue(layout) });
            })) {
        return 0;
    }
    return layoutNow(parentId, recursionDepth, propertyNames, layout);
}

uint DBusMenuAdaptor::layoutNow(
    int parentId, int recursionDepth, const QStringList& propertyNames, DBusMenuLayoutItem& layout)
{
    settle();
    QMenu* menu = nullptr;
    if (parentId == 0) {
        menu = m_menu.data();
    } else if (QAction* action = actionOf(parentId)) {
        menu = action->menu();
    }
    layout = layoutOf(parentId, menu, recursionDepth, propertyNames);
    return m_revision;
}

DBusMenuItemPropertiesList DBusMenuAdaptor::GetGroupProperties(
    const QList<int>& ids, const QStringList& propertyNames)
{
    if (BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::none, [this, ids, propertyNames](const QDBusMessage& call) {
                return call.createReply(QVariant::fromValue(groupPropertiesNow(ids, propertyNames)));
            })) {
        return {};
    }
    return groupPropertiesNow(ids, propertyNames);
}

DBusMenuItemPropertiesList DBusMenuAdaptor::groupPropertiesNow(
    const QList<int>& ids, const QStringList& propertyNames)
{
    settle();
    DBusMenuItemPropertiesList result;
    for (const int id : ids) {
        if (id == 0) {
            result.push_back({ 0,
                filtered(
                    { { QStringLiteral("children-display"), QStringLiteral("submenu") } }, propertyNames) });
        } else if (const QAction* action = actionOf(id)) {
            result.push_back({ id, filtered(propertiesOf(*action), propertyNames) });
        }
    }
    return result;
}

QVariant DBusMenuAdaptor::defaultOf(const QString& propertyName)
{
    static const QHash<QString, QVariant> defaults {
        { QStringLiteral("type"), QStringLiteral("standard") },
        { QStringLiteral("label"), QString() },
        { QStringLiteral("enabled"), true },
        { QStringLiteral("visible"), true },
        { QStringLiteral("icon-name"), QString() },
        { QStringLiteral("icon-data"), QByteArray() },
        { QStringLiteral("shortcut"), QVariant::fromValue(DBusMenuShortcut()) },
        { QStringLiteral("toggle-type"), QString() },
        { QStringLiteral("toggle-state"), -1 },
        { QStringLiteral("children-display"), QString() },
        { QStringLiteral("disposition"), QStringLiteral("normal") },
        { QStringLiteral("accessible-desc"), QString() },
    };
    return defaults.value(propertyName);
}

QDBusVariant DBusMenuAdaptor::GetProperty(int id, const QString& name)
{
    if (BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::none, [this, id, name](const QDBusMessage& call) {
                QString why;
                const std::optional<QVariant> value = propertyNow(id, name, &why);
                return value ? call.createReply(QVariant::fromValue(QDBusVariant(*value)))
                             : call.createErrorReply(QDBusError::InvalidArgs, why);
            })) {
        return {};
    }
    // Called directly there is nobody to tell why a value is missing.
    return QDBusVariant(propertyNow(id, name, nullptr).value_or(QString()));
}

std::optional<QVariant> DBusMenuAdaptor::propertyNow(int id, const QString& name, QString* why)
{
    settle();
    const auto refuse = [why](const QString& reason) -> std::optional<QVariant> {
        if (why) {
            *why = reason;
        }
        return std::nullopt;
    };
    const QVariant fallback = defaultOf(name);
    if (!fallback.isValid()) {
        return refuse(QStringLiteral("No menu item property is named \"%1\"").arg(name));
    }
    if (id != 0 && !actionOf(id)) {
        return refuse(QStringLiteral("No menu item has the id %1").arg(id));
    }
    const DBusMenuItemPropertiesList found = groupPropertiesNow({ id }, { name });
    if (found.isEmpty() || !found.front().properties.contains(name)) {
        return fallback;
    }
    return found.front().properties.value(name);
}

bool DBusMenuAdaptor::handleEvent(int id, const QString& eventId)
{
    if (id == 0) {
        return true;
    }
    QAction* action = actionOf(id);
    if (!action) {
        return false;
    }
    if (eventId == QLatin1String("clicked") && action->isEnabled() && !action->isSeparator()
        && !action->menu()) {
        // After the host's call has returned: the item may open an alert that waits for the user.
        QPointer<QAction> chosen(action);
        QTimer::singleShot(0, this, [chosen] {
            if (chosen) {
                chosen->trigger();
            }
        });
    }
    return true;
}

void DBusMenuAdaptor::Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp)
{
    static_cast<void>(data);
    static_cast<void>(timestamp);
    const auto event = [this, id, eventId] {
        settle();
        handleEvent(id, eventId);
    };
    if (!BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::changesState, [event](const QDBusMessage& call) {
                event();
                return call.createReply();
            })) {
        event();
    }
}

QList<int> DBusMenuAdaptor::EventGroup(const DBusMenuEventList& events)
{
    if (BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::changesState, [this, events](const QDBusMessage& call) {
                return call.createReply(QVariant::fromValue(eventGroupNow(events)));
            })) {
        return {};
    }
    return eventGroupNow(events);
}

QList<int> DBusMenuAdaptor::eventGroupNow(const DBusMenuEventList& events)
{
    settle();
    QList<int> idErrors;
    for (const DBusMenuEvent& event : events) {
        if (!handleEvent(event.id, event.eventId)) {
            idErrors << event.id;
        }
    }
    return idErrors;
}

bool DBusMenuAdaptor::AboutToShow(int id)
{
    if (BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::changesState, [this, id](const QDBusMessage& call) {
                return call.createReply(QVariant::fromValue(aboutToShowNow(id)));
            })) {
        return false;
    }
    return aboutToShowNow(id);
}

bool DBusMenuAdaptor::aboutToShowNow(int id)
{
    if (id == 0 && m_aboutToShow) {
        m_aboutToShow();
    }
    // The items' own changes have been seen by the event filter. A menu rebuilt the same has sent
    // its new properties ahead of this answer; only a new layout is for the host to read.
    const uint before = m_revision;
    settle();
    return m_revision != before;
}

QList<int> DBusMenuAdaptor::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    if (BusCallQueue::answerInTurn(
            this, BusCallQueue::Effect::changesState, [this, ids](const QDBusMessage& call) {
                QList<int> idErrors;
                const QList<int> updatesNeeded = aboutToShowGroupNow(ids, idErrors);
                return call.createReply(
                    { QVariant::fromValue(updatesNeeded), QVariant::fromValue(idErrors) });
            })) {
        return {};
    }
    return aboutToShowGroupNow(ids, idErrors);
}

QList<int> DBusMenuAdaptor::aboutToShowGroupNow(const QList<int>& ids, QList<int>& idErrors)
{
    settle();
    QList<int> updatesNeeded;
    for (const int id : ids) {
        if (id != 0 && !actionOf(id)) {
            idErrors << id;
        } else if (aboutToShowNow(id)) {
            updatesNeeded << id;
        }
    }
    return updatesNeeded;
}

} // namespace platform
