#pragma once

#include "platform/linux/DBusMenuTypes.h"

#include <QDBusAbstractAdaptor>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QMenu;

namespace platform {

// The com.canonical.dbusmenu interface over one QMenu: the panel that hosts the status item reads
// the menu's items (titles with their mnemonic letters, enabled and visible states, check marks,
// key combinations, submenus) and draws the menu itself, then sends back which item was chosen.
//
// Each item gets an id for as long as it lives (the menu itself is 0), from the moment it is in the
// menu, so that a host that asks about an item or sends an event before reading the layout is
// answered about the menu as built. Every call is answered in its turn among the connection's calls
// (platform::BusCallQueue), with nothing else waited for: a value, the protocol's default
// for a property the item leaves at it, or an error for an id or property that names nothing (a
// host waits out its whole time-out for a call that gets no answer). The adaptor follows the menu
// and its submenus: items added or removed send LayoutUpdated with a new revision, a changed item
// ItemsPropertiesUpdated, both once per turn of the event loop and only for what differs from what
// the host was last told. A menu built afresh with the same items in the same places (the status
// menu is, at every redraw) keeps the layout the host has: the new items take the ids of the ones
// they replace, and only their changed properties are sent, so that a host is not woken to read
// the whole menu again. When a host is about to show the menu (AboutToShow of the menu itself),
// `aboutToShow` runs first, so that a menu that is built afresh before each opening is current. A
// chosen item is triggered on the next turn of the event loop, so that the host's call returns
// before whatever the item does (an alert) begins.
//
// The adaptor's parent is a DBusCallContext: through it calls from the bus take their turn and
// errors reach the caller. Called directly, the methods answer at once.
//
// Main-thread only.
class DBusMenuAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)
public:
    explicit DBusMenuAdaptor(QObject* parent);
    ~DBusMenuAdaptor() override;

    // The menu to show (not owned; nullptr for none) and what to run before a host shows it.
    void setMenu(QMenu* menu, std::function<void()> aboutToShow = {});
    QMenu* menu() const { return m_menu.data(); }

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    uint revision() const { return m_revision; }
    // The id of an item of the menu, giving it one when it has none yet.
    int idOf(QAction* action);
    // The properties of an item as the protocol spells them; only the ones that differ from the
    // protocol's defaults.
    static QVariantMap propertiesOf(const QAction& action);
    // The value the protocol gives a property that an item does not send; invalid for a name that
    // is no property.
    static QVariant defaultOf(const QString& propertyName);
    // A title with Qt's "&" mnemonics in the protocol's "_" form ("&Quit" is "_Quit", "a_b" is
    // "a__b"); a letter chosen by a bare key (`mnemonicKey`, 0 for none) is marked when the title
    // has no mark of its own.
    static QString labelOf(const QString& text, int mnemonicKey = 0);
    static DBusMenuShortcut shortcutOf(const QKeySequence& sequence);

public Q_SLOTS:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
        platform::DBusMenuLayoutItem& layout);
    platform::DBusMenuItemPropertiesList GetGroupProperties(
        const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const platform::DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

Q_SIGNALS:
    void ItemsPropertiesUpdated(const platform::DBusMenuItemPropertiesList& updatedProps,
        const platform::DBusMenuItemPropertyNamesList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An item as the host was last told of it: what makes the layout, not its properties.
    struct PublishedItem {
        enum class Kind { separator, section, standard, checkmark, radio };
        int id = 0;
        Kind kind = Kind::standard;
        bool hasSubmenu = false;
        std::vector<PublishedItem> children;
    };
    using PublishedItems = std::vector<PublishedItem>;

    void follow(QMenu* menu);
    // Gives ids to the items of `menu` and its submenus, in the order a full layout lists them.
    void number(QMenu* menu);
    void scheduleFlush();
    void flush();
    // Runs a pending flush now, so that a host's call is answered about the menu the host is told of.
    void settle();
    // The items of `menu` and its submenus with their ids, and the properties of each.
    PublishedItems itemsOf(QMenu* menu, QHash<int, QVariantMap>& properties, QSet<QMenu*>& path);
    static bool sameShape(const PublishedItems& published, const PublishedItems& rebuilt);
    // Gives the items of `rebuilt` the ids of the published ones in their places; false (and
    // nothing changed) when that cannot be done consistently.
    bool adoptIds(
        const PublishedItems& published, PublishedItems& rebuilt, QHash<int, QVariantMap>& properties);
    void tellProperties(const QList<int>& ids);
    QAction* actionOf(int id) const;
    // False for an id that names nothing (anymore).
    bool handleEvent(int id, const QString& eventId);
    DBusMenuLayoutItem layoutOf(int id, QMenu* menu, int depth, const QStringList& propertyNames);
    // What the methods of the same names answer, once it is their turn.
    uint layoutNow(
        int parentId, int recursionDepth, const QStringList& propertyNames, DBusMenuLayoutItem& layout);
    DBusMenuItemPropertiesList groupPropertiesNow(const QList<int>& ids, const QStringList& propertyNames);
    // Nothing, with the reason in `why` when given, for a property or id that names nothing.
    std::optional<QVariant> propertyNow(int id, const QString& name, QString* why);
    QList<int> eventGroupNow(const DBusMenuEventList& events);
    bool aboutToShowNow(int id);
    QList<int> aboutToShowGroupNow(const QList<int>& ids, QList<int>& idErrors);

    QPointer<QMenu> m_menu;
    std::function<void()> m_aboutToShow;
    uint m_revision = 1;
    int m_nextId = 1;
    QHash<QAction*, int> m_ids;
    QHash<int, QPointer<QAction>> m_actions;
    QSet<QMenu*> m_followed;
    bool m_layoutChanged = false;
    QSet<int> m_changedIds;
    QTimer m_flushTimer;
    // What the host was last told: the layout (none before the first flush of a menu) and the
    // properties of each of its items.
    std::optional<PublishedItems> m_published;
    QHash<int, QVariantMap> m_publishedProperties;
};

} // namespace platform
