#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <map>

namespace platform {

class BusNameOwner;

// One shortcut as the portal's methods and signals carry it: an id and its properties
// ("description", "preferred_trigger", "trigger_description").
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;
QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts), where
// applications cannot grab keys themselves (Wayland; KDE Plasma and GNOME offer it). The
// application binds its shortcut ids with a description and a preferred trigger ("CTRL+ALT+k");
// the desktop decides the real triggers and reports presses and releases of them.
//
// Main-thread only.
class GlobalShortcutsPortal : public QObject {
    Q_OBJECT
public:
    struct Binding {
        QString id;
        QString description;
        // In the desktop shortcuts' notation ("LOGO+SHIFT+F5"); empty for none.
        QString preferredTrigger;
    };

    explicit GlobalShortcutsPortal(
        QDBusConnection connection = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~GlobalShortcutsPortal() override;

    // Asks the portal for a session on first use and binds the shortcuts (the later binding
    // replaces the earlier one); bound() tells how it went. Without a portal offering global
    // shortcuts, bound(false).
    void bind(QList<Binding> bindings);
    bool isBound() const { return m_bound; }

    // The desktop notation of a combination: modifiers "CTRL", "ALT", "SHIFT", "LOGO" joined by "+",
    // then the key's XKB name.
    static QString trigger(Qt::KeyboardModifiers modifiers, const QString& keysymName);

Q_SIGNALS:
    void bound(bool succeeded);
    void activated(const QString& id);
    void deactivated(const QString& id);

private Q_SLOTS:
    void handleResponse(uint response, const QVariantMap& results, const QDBusMessage& message);
    void handleShortcutSignal(const QDBusMessage& message);

private:
    using ResponseHandler = std::function<void(uint response, const QVariantMap& results)>;

    void createSession();
    void sendBinding();
    // Calls a portal method that answers through a request object's Response signal.
    void request(
        const QString& method, QList<QVariant> arguments, QVariantMap options, ResponseHandler handler);
    void fail(const QString& why);

    QDBusConnection m_connection;
    BusNameOwner* m_portal;
    QString m_session;
    QList<Binding> m_bindings;
    bool m_bound = false;
    bool m_creatingSession = false;
    bool m_bindingWaits = false;
    int m_tokenCounter = 0;
    std::map<QString, ResponseHandler> m_pendingRequests;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::PortalShortcut)
