#include "platform/linux/PortalOpener.h"

#include "platform/Logger.h"
#include "platform/linux/BusNameOwner.h"
#include "platform/linux/PortalRequest.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::dbus {

PortalOpener::PortalOpener(QObject* parent)
    : PortalOpener(Options {}, parent)
{
}

PortalOpener::PortalOpener(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_portal = new BusNameOwner(m_options.connection, m_options.service, this);
}

PortalOpener::~PortalOpener() = default;

void PortalOpener::open(const QUrl& url, Completion completion)
{
    const std::string what = url.toString().toStdString();
    auto answered = [what, completion = std::move(completion)](const PortalRequest::Answer& answer) {
        if (answer.code == PortalRequest::success) {
            completion(Outcome::opened);
            return;
        }
        if (answer.code == PortalRequest::cancelled) {
            log(LogLevel::Info, lcDesktop(), "The choice of a program for " + what + " was cancelled");
            completion(Outcome::cancelled);
            return;
        }
        log(LogLevel::Warning, lcDesktop(),
            "Nothing opened " + what + ": "
                + (answer.failure.empty() ? std::string("the desktop portal ended the request")
                                          : answer.failure));
        completion(Outcome::failed);
    };

    const QString token
        = QStringLiteral("kiruvo_open_%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_nextToken);
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call;
    if (url.isLocalFile()) {
        // The portal takes a file by its descriptor, which proves the sandbox can reach it.
        const int descriptor = ::open(QFile::encodeName(url.toLocalFile()).constData(), O_PATH | O_CLOEXEC);
        if (descriptor < 0) {
            PortalRequest::Answer failed;
            failed.failure = "cannot reach " + url.toLocalFile().toStdString() + ": " + std::strerror(errno);
            QMetaObject::invokeMethod(
                this, [answered, failed] { answered(failed); }, Qt::QueuedConnection);
            return;
        }
        call = QDBusMessage::createMethodCall(m_options.service, QString::fromLatin1(objectPath),
            QString::fromLatin1(interfaceName), QStringLiteral("OpenFile"));
        // The message holds a copy of the descriptor.
        call << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(descriptor)) << options;
        ::close(descriptor);
    } else {
        call = QDBusMessage::createMethodCall(m_options.service, QString::fromLatin1(objectPath),
            QString::fromLatin1(interfaceName), QStringLiteral("OpenURI"));
        call << QString() << url.toString(QUrl::FullyEncoded) << options;
    }
    PortalRequest::send(m_options.connection, *m_portal, call, token, std::move(answered));
}

} // namespace platform::dbus
