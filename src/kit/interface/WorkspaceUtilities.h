#pragma once

#include "platform/time/Date.h"

#include <QCoro/QCoroTask>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <string>
#include <vector>

namespace zk {

// Whether `date` lies in the closed range from `lower` to `upper`.
inline bool isBetween(platform::Date date, platform::Date lower, platform::Date upper)
{
    return lower <= date && date <= upper;
}

// One signal connection that ends when its token is destroyed.
class NotificationToken {
public:
    explicit NotificationToken(QMetaObject::Connection connection);
    ~NotificationToken();
    NotificationToken(const NotificationToken&) = delete;
    NotificationToken& operator=(const NotificationToken&) = delete;

private:
    QMetaObject::Connection m_connection;
};

// Connections to one sender that end when the holder is destroyed, unless the sender is gone first.
class ListenerHolder {
public:
    explicit ListenerHolder(QObject* sender);
    ~ListenerHolder();
    ListenerHolder(const ListenerHolder&) = delete;
    ListenerHolder& operator=(const ListenerHolder&) = delete;

    void add(QMetaObject::Connection connection);

private:
    QPointer<QObject> m_sender;
    std::vector<QMetaObject::Connection> m_listeners;
};

// How an application is opened.
struct OpenConfiguration {
    // Given to the program after the arguments its desktop entry names.
    QStringList arguments;
};

// An application that was started.
struct RunningApplication {
    std::string desktopId;
    qint64 processIdentifier = 0;
};

// Starts the installed application whose desktop entry is "<desktopId>.desktop" (the bundle
// identifier's counterpart, as "org.gnome.Nautilus") and answers once its program has started.
// Throws the application's error "Could not locate app with bundle identifier “<id>”." when no
// such entry exists, and one with the reason when its program cannot be started (missing, not
// executable, no program named). Main-thread only.
QCoro::Task<RunningApplication> openAppWithBundleIdentifier(
    const std::string& desktopId, OpenConfiguration configuration = {});

} // namespace zk
