#pragma once

#include "platform/linux/XdgOpener.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace platform {
class BusNameOwner;
} // namespace platform

namespace platform::dbus {

// Opens inside a Flatpak sandbox, where xdg-open only passes the link to the desktop portal and
// ends before anything has opened: the portal's `org.freedesktop.portal.OpenURI` is asked itself
// (OpenURI for links and addresses, OpenFile with the file's descriptor for files and folders),
// and its Response is the outcome: opened, cancelled when the user closed the portal's choice of
// program, failed otherwise. Helpers given to run() run as outside (the sandbox's xdg-email asks
// the portal and waits for it).
//
// Main-thread only.
class PortalOpener final : public QObject, public xdg::XdgOpener {
    Q_OBJECT
public:
    static constexpr const char* standardService = "org.freedesktop.portal.Desktop";
    static constexpr const char* objectPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* interfaceName = "org.freedesktop.portal.OpenURI";

    struct Options {
        QDBusConnection connection = QDBusConnection::sessionBus();
        // Another service name, for a stand-in of the desktop's portal.
        QString service = QString::fromLatin1(standardService);
    };

    explicit PortalOpener(QObject* parent = nullptr);
    explicit PortalOpener(Options options, QObject* parent = nullptr);
    ~PortalOpener() override;

    void open(const QUrl& url, Completion completion) override;

private:
    Options m_options;
    BusNameOwner* m_portal = nullptr;
    unsigned m_nextToken = 0;
};

} // namespace platform::dbus
