#pragma once

#include <QAccessible>
#include <QDBusVirtualObject>
#include <QHash>
#include <QPointer>
#include <QString>

#include <optional>

namespace zk {

// Stands before Qt's bridge to the desktop's accessibility bus, where any program of the session may
// send it calls. The bridge (Qt 6.4) reads a call's arguments without looking whether they were sent
// and crashes on org.freedesktop.DBus.Properties.GetAll, so a caller could end Kiruvo with one
// malformed question: a call whose arguments differ from the bridge's own description of the method
// is answered with an error, GetAll with "not supported", and every other call goes to the bridge as
// it came. Qt's own tables (the debug window's lists) give the bridge no cell for a row or column
// they do not have, and the bridge reads on from none: such a question about a cell's extents or
// selection is answered here, with nothing (false, no span), for every table alike. Where the bridge is not
// found where Qt 6.4 keeps it, nothing changes. Main-thread only.
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
    // The arguments the bridge describes for the method, or nothing when it describes none.
    std::optional<QString> expectedSignature(const QDBusMessage& message);
    // Answers a question about a cell that the table asked has not; whether it did.
    static bool answerForMissingCell(const QDBusMessage& message, const QDBusConnection& connection);

    QPointer<QDBusVirtualObject> m_bridge;
    // Interface, then method, to the signature of its arguments, as the bridge describes them.
    QHash<QString, QHash<QString, QString>> m_signatures;
};

} // namespace zk
