#pragma once

#include "FuzzFolder.h"
#include "FuzzTarget.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusServer>
#include <QDBusVariant>
#include <QEventLoop>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzz {

// Reads the values of calls out of a fuzzer's bytes; past the end every value is zero or empty.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool atEnd() const { return m_offset >= m_size; }
    std::uint8_t byte() { return m_offset < m_size ? m_data[m_offset++] : 0; }
    std::uint32_t number()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = value << 8 | byte();
        }
        return value;
    }
    // Mostly small numbers around the ones that mean something, now and then any at all.
    int integer()
    {
        const std::uint8_t kind = byte();
        if (kind < 200) {
            return static_cast<int>(kind % 8) - 2;
        }
        return static_cast<int>(number());
    }
    // Up to 32 bytes, taken as UTF-8 (what is no UTF-8 becomes replacement characters, as the bus
    // would never deliver it).
    QString text()
    {
        const std::size_t length = byte() % 33;
        std::string bytes;
        for (std::size_t i = 0; i < length && !atEnd(); ++i) {
            bytes.push_back(static_cast<char>(byte()));
        }
        // The bus carries no NUL inside a text.
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).remove(QChar(0));
    }
    // One of `choices`, or now and then a text of its own.
    QString oneOf(const QStringList& choices)
    {
        const std::uint8_t pick = byte();
        if (pick < 224 && !choices.isEmpty()) {
            return choices.at(pick % choices.size());
        }
        return text();
    }
    // One of `methods`, or now and then another member name the bus can carry.
    QString member(const QStringList& methods)
    {
        const std::uint8_t pick = byte();
        if (pick < 224 && !methods.isEmpty()) {
            return methods.at(pick % methods.size());
        }
        static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_0123456789";
        QString name;
        for (std::size_t length = 1 + byte() % 16; name.size() < static_cast<qsizetype>(length);) {
            // A name does not start with a digit.
            name += QChar::fromLatin1(characters[byte() % (name.isEmpty() ? 53 : sizeof characters - 1)]);
        }
        return name;
    }
    // A value of a type the bus carries, for arguments that are not the declared ones.
    QVariant anyValue(int depth = 0)
    {
        switch (byte() % (depth < 2 ? 9 : 7)) {
        case 0:
            return integer();
        case 1:
            return static_cast<uint>(number());
        case 2:
            return (byte() & 1) != 0;
        case 3: {
            double value = 0;
            const std::uint64_t bits = static_cast<std::uint64_t>(number()) << 32 | number();
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        case 4:
            return text();
        case 5:
            return QByteArray(text().toUtf8());
        case 6:
            return QStringList { text(), text() };
        case 7:
            return QVariant::fromValue(QDBusVariant(anyValue(depth + 1)));
        default:
            return QVariantMap { { text(), anyValue(depth + 1) } };
        }
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

// A connection pair inside this process, as a panel or a script in another process would hold one:
// the object under test is exported on `server()`, calls come from `client()`. No bus daemon and no
// name: nothing else on the machine sees it.
class DBusPeer {
public:
    static DBusPeer& shared()
    {
        static DBusPeer* peer = new DBusPeer();
        return *peer;
    }

    QDBusConnection& server() { return m_server; }

    // A call to the object at `path`, as the client sends it.
    static QDBusMessage methodCall(
        const QString& path, const QString& interface, const QString& method, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QString(), path, interface, method);
        message.setArguments(arguments);
        return message;
    }

    // Sends the call and serves this thread's events until the answer is there. An answer that is
    // no answer from the object (the connection gave up waiting for one, or the object's reply
    // could not be sent) breaks the property that every call is answered.
    QDBusMessage call(const QDBusMessage& message)
    {
        QDBusPendingCall pending = m_client.asyncCall(message);
        // The watcher's event wakes the wait when the answer comes.
        const QDBusPendingCallWatcher watcher(pending);
        while (!pending.isFinished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        // What the call set off on this side for the next turn (a chosen item triggered) runs now.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const QDBusMessage reply = pending.reply();
        require(reply.type() == QDBusMessage::ReplyMessage || reply.type() == QDBusMessage::ErrorMessage,
            "every call gets an answer");
        require(reply.type() != QDBusMessage::ErrorMessage
                || (reply.errorName() != QDBusError::errorString(QDBusError::NoReply)
                    && reply.errorName() != QDBusError::errorString(QDBusError::Timeout)
                    && reply.errorName() != QDBusError::errorString(QDBusError::Disconnected)),
            "every call is answered by the object, not given up on");
        return reply;
    }

private:
    DBusPeer()
        : m_server(QStringLiteral("fuzz-server"))
        , m_client(QStringLiteral("fuzz-client"))
    {
        // A reply the object could not send shows only as a warning: it breaks the property.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtDebugMsg || type == QtInfoMsg) {
                return;
            }
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
            require(!text.contains(QLatin1String("QDBus")) && !text.contains(QLatin1String("D-Bus")),
                "the bus library has nothing to complain of");
        });
        m_listener = new QDBusServer(
            QStringLiteral("unix:tmpdir=") + QString::fromStdString(Folder::path().string()));
        require(m_listener->isConnected(), "a peer server listens");
        QEventLoop connecting;
        QObject::connect(m_listener, &QDBusServer::newConnection, m_listener,
            [this, &connecting](const QDBusConnection& connection) {
                m_server = connection;
                connecting.quit();
            });
        m_client = QDBusConnection::connectToPeer(m_listener->address(), QStringLiteral("fuzz-client"));
        if (!m_server.isConnected()) {
            // Set up once per process; a peer that never comes is a broken set-up, not a finding.
            QTimer::singleShot(30000, &connecting, &QEventLoop::quit);
            connecting.exec();
        }
        QObject::disconnect(m_listener, &QDBusServer::newConnection, nullptr, nullptr);
        require(m_server.isConnected(), "the server takes the client's connection");
        require(m_client.isConnected(), "the client reaches the server");
    }

    QDBusServer* m_listener = nullptr;
    QDBusConnection m_server;
    QDBusConnection m_client;
};

} // namespace fuzz
