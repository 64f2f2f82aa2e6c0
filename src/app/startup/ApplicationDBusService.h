#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <qcoro/qcorofwd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace kiruvo {

// The application on the session bus: the well-known name com.zelvantorium.Kiruvo and the object
// /com/zelvantorium/Kiruvo, which carries this interface (com.zelvantorium.Kiruvo.Application,
// OpenMenu) and the scripting interface (com.zelvantorium.Kiruvo.Intents).
//
// The object is exported with QDBusConnection::ExportAdaptors, so every interface is an adaptor
// that is a child of object(): another interface joins by creating its adaptor with object() as
// its parent (adaptors added after the export are answered too). registerIntentsObject() finds the
// same object through QDBusConnection::objectRegisteredAt.
//
// Without a session bus the application runs on: the failure is logged once, and only scripting
// and the hand-over from a second launch are missing.
//
// Main-thread only.
class ApplicationDBusService : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.zelvantorium.Kiruvo.Application")
public:
    static constexpr const char* serviceName = "com.zelvantorium.Kiruvo";
    static constexpr const char* objectPath = "/com/zelvantorium/Kiruvo";
    static constexpr const char* interfaceName = "com.zelvantorium.Kiruvo.Application";

    // Exports the object with this interface and the scripting interface, then takes the bus name
    // (last, so that a caller who sees the name finds every interface). The name is asked for
    // without waiting: the result is there once the bus answers. False, logged once, when there is
    // no bus, the object cannot be exported or the name is held by another process; the interfaces
    // stay exported on the connection in the last case.
    static QCoro::Task<bool> start(QDBusConnection connection = QDBusConnection::sessionBus());

    // The object exported at objectPath by start(); nullptr before it, or when the export failed.
    static QObject* object();

    // What OpenMenu does: the tray installs the opening of its menu. Until then a call is logged.
    static void setOpenMenuHandler(std::function<void()> handler);
    // Runs that handler now.
    static void openMenu();

    // Asks the instance that owns the bus name to open its menu, and is done when it answers or
    // `timeout` has passed; the event loop runs meanwhile. A name with no owner yet (an instance
    // that is still starting) is asked again until then. False with the reason in `errorText`
    // (which must outlive the task) when no instance answered.
    static QCoro::Task<bool> requestOpenMenu(QDBusConnection connection, QString* errorText,
        std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    // Answers calls that arrive on `connection`.
    ApplicationDBusService(QObject* host, QDBusConnection connection);
    ~ApplicationDBusService() override;

public Q_SLOTS:
    // Waits for its turn in the connection's platform::BusCallQueue like every other call, and is
    // carried out even when its caller has left by then, if its turn comes in time (refused, and not
    // carried out, if not). An OpenMenu that comes while one waits is
    // one with it: it opens nothing more, and is answered when that one is.
    void OpenMenu(const QDBusMessage& message);

private:
    // The opening of the menu that the OpenMenu calls waiting since it last opened ask for. It
    // waits in the turn of each caller that asked, so that it opens at the first of those turns:
    // a caller whose calls are held (it leaves its answers unread) keeps nobody else's waiting.
    struct WaitingMenu {
        bool opened = false;
        std::set<QString> callers;
        // The calls that want an answer, by caller.
        std::map<QString, std::vector<QDBusMessage>> calls;
    };

    // Opens it and answers its calls; the size of the answers.
    std::int64_t open(WaitingMenu& menu);

    QDBusConnection m_connection;
    std::shared_ptr<WaitingMenu> m_waitingMenu;
};

} // namespace kiruvo
