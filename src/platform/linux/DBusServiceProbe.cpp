#include "platform/linux/DBusServiceProbe.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <memory>

namespace platform {

void DBusServiceProbe::send(QDBusConnection connection, const QDBusMessage& question, int timeoutMs,
    QObject* context, std::function<void(const DBusServiceProbe&)> done)
{
    auto* call = new QDBusPendingCallWatcher(connection.asyncCall(question, timeoutMs), context);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, context,
        [connection, service = question.service(), timeoutMs, context, done = std::move(done)](
            QDBusPendingCallWatcher* finished) mutable {
            finished->deleteLater();
            auto probe = std::make_shared<DBusServiceProbe>();
            probe->reply = finished->reply();
            if (probe->answered()) {
                done(*probe);
                return;
            }
            probe->error
                = probe->reply.errorName().toStdString() + ": " + probe->reply.errorMessage().toStdString();
            // The bus says so itself when no one owns the name and none can be started for it.
            if (probe->reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
                probe->absent = true;
                done(*probe);
                return;
            }
            auto ownerQuestion = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("/org/freedesktop/DBus"), QStringLiteral("org.freedesktop.DBus"),
                QStringLiteral("NameHasOwner"));
            ownerQuestion << service;
            auto* owner
                = new QDBusPendingCallWatcher(connection.asyncCall(ownerQuestion, timeoutMs), context);
            QObject::connect(owner, &QDBusPendingCallWatcher::finished, context,
                [probe, done = std::move(done)](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    const QDBusPendingReply<bool> hasOwner = *answered;
                    // A bus that cannot say counts as not having it, as the service cannot be used.
                    probe->absent = !(hasOwner.isValid() && hasOwner.value());
                    done(*probe);
                });
        });
}

} // namespace platform
