#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform {

// One item of a com.canonical.dbusmenu layout (D-Bus "(ia{sv}av)"): its id, its properties and its
// children, each child a variant holding the same structure.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<QDBusVariant> children;
};

// The properties of one item (D-Bus "(ia{sv})"), as GetGroupProperties and ItemsPropertiesUpdated
// send them.
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

// The names of properties an item no longer has (D-Bus "(ias)").
struct DBusMenuItemPropertyNames {
    int id = 0;
    QStringList names;
};
using DBusMenuItemPropertyNamesList = QList<DBusMenuItemPropertyNames>;

// One event of EventGroup (D-Bus "(isvu)"): the item, the event ("clicked", "opened"...), its data
// and the host's time stamp.
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// A key combination as the "shortcut" property writes it: one list per key press, each the
// modifier names ("Control", "Alt", "Shift", "Super") followed by the key.
using DBusMenuShortcut = QList<QStringList>;

// Registers the types with Qt's meta-type system and QtDBus; safe to call more than once.
void registerDBusMenuTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

} // namespace platform

Q_DECLARE_METATYPE(platform::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(platform::DBusMenuItemProperties)
Q_DECLARE_METATYPE(platform::DBusMenuItemPropertyNames)
Q_DECLARE_METATYPE(platform::DBusMenuEvent)
