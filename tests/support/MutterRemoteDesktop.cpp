#include "MutterRemoteDesktop.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

namespace {

constexpr int callTimeoutMs = 10000;
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

} // namespace

MutterRemoteDesktop::MutterRemoteDesktop(QDBusConnection connection)
    : m_connection(std::move(connection))
{
}

MutterRemoteDesktop::~MutterRemoteDesktop()
{
    if (!m_session.isEmpty()) {
        static_cast<void>(callSession(QStringLiteral("Stop"), {}));
    }
}

bool MutterRemoteDesktop::start(std::string* error)
{
    const QDBusMessage created = m_connection.call(
        QDBusMessage::createMethodCall(QString::fromLatin1(serviceName),
            QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("CreateSession")),
        QDBus::Block, callTimeoutMs);
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().size() != 1) {
        *error = "CreateSession: " + created.errorMessage().toStdString();
        return false;
    }
    m_session = created.arguments().front().value<QDBusObjectPath>().path();
    if (!callSession(QStringLiteral("Start"), {})) {
        *error = "Start: " + m_error;
        m_session.clear();
        return false;
    }
    return true;
}

bool MutterRemoteDesktop::callSession(const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(serviceName), m_session, sessionInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_connection.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        m_error = reply.errorMessage().toStdString();
        return false;
    }
    return true;
}

bool MutterRemoteDesktop::movePointer()
{
    return callSession(QStringLiteral("NotifyPointerMotionRelative"), { 1.0, 1.0 })
        && callSession(QStringLiteral("NotifyPointerMotionRelative"), { -1.0, -1.0 });
}

bool MutterRemoteDesktop::pressKey(std::uint32_t evdevKey)
{
    return callSession(QStringLiteral("NotifyKeyboardKeycode"), { evdevKey, true })
        && callSession(QStringLiteral("NotifyKeyboardKeycode"), { evdevKey, false });
}
