#pragma once

#include <QAccessible>
#include <QDBusVirtualObject>
#include <QHash>
#include <QPointer>
#include <QString>

namespace zk {

// Stands before Qt's bridge to the desktop's accessibility bus, where any program of the session may
// send it calls. The bridge (Qt 6.4) takes a call for what it names without looking whether the object
// has that interface, or the method or property that name, and reads arguments that were never sent:
// a property of a table asked of one of its cells, a method's name asked as a property, or a call
// with other arguments would end Kiruvo. So a call reaches the bridge only as the bridge describes the
// object it is for: an interface the object has (UnknownInterface otherwise), a method or property of
// it (UnknownMethod, UnknownProperty), a property set only where it may be (PropertyReadOnly), with
// the arguments described (InvalidArgs); GetAll, and the text ranges within a rectangle, which the
// bridge cannot answer, get "not supported". A call for an object that is not there goes on, and the
// bridge says so. Qt's own widgets give the bridge no child, or no cell, for an index they do not
// have, or read one that is not there, and the bridge reads on from it; their editing makes room for
// a place past the end of the text and reckon a range's extents character by character: a question
// for a child or a table cell the object has not is answered here with nothing (the null object,
// false, no span), for every object alike, and a question or an edit at a place outside the text is
// refused. Where the bridge is not found where Qt 6.4 keeps it, nothing changes.
// Main-thread only.
class AccessibilityBusGuard : public QDBusVirtualObject, public QAccessible::ActivationObserver {
    Q_OBJECT
public:
    // Stands before the bridge whenever accessibility is switched on; once per process.
    static void install();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    void accessibilityActiveChanged(bool active) override;

private:
    AccessibilityBusGuard() = default;
    // Takes the bridge's place on the bus, unless it holds it already.
    void standBeforeBridge();
    // Answers, with the error a reader is owed, a call the bridge does not describe for its object;
    // whether it did.
    bool refuseUndescribed(const QDBusMessage& message, const QDBusConnection& connection);
    // The object at a path of the bridge's; nothing where there is none.
    static QAccessibleInterface* objectAt(const QString& path);
    // Refuses a question or an edit at a place outside the object's text; whether it did.
    static bool refuseOutsideText(const QDBusMessage& message, const QDBusConnection& connection);
    // Answers a question for a child that the object asked has not; whether it did.
    static bool answerForMissingChild(const QDBusMessage& message, const QDBusConnection& connection);
    // Answers a question about a cell that the table asked has not; whether it did.
    static bool answerForMissingCell(const QDBusMessage& message, const QDBusConnection& connection);

    // One interface of an object as the bridge describes it: each method with the signature of its
    // arguments, each property with whether it may be set.
    struct InterfaceDescription {
        QHash<QString, QString> methods;
        QHash<QString, bool> properties;
    };
    using ObjectDescription = QHash<QString, InterfaceDescription>;
    // The interfaces the bridge answers on every object, or on each that has them, undescribed.
    static const ObjectDescription& undescribed();
    // What the bridge's answer to Introspect names; nothing where there is no such object.
    static ObjectDescription describe(const QString& introspection);

    QPointer<QDBusVirtualObject> m_bridge;
    // By the bridge's description of an object, what it names.
    QHash<QString, ObjectDescription> m_descriptions;
};

} // namespace zk
