// The screen saver service of bench/idle_sources.sh: org.freedesktop.ScreenSaver on the session
// bus, answering GetSessionIdleTime as a desktop does when nobody has touched it since it started,
// plus the seconds given as the first argument (a user away already, with a figure past the
// threshold). A second argument makes every answer come that many milliseconds late, as from a
// desktop busy at login (bench/startup.sh); a third, "locked", says the screen saver or lock is on
// (GetActive).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QTimer>

namespace {

class ScreenSaver : public QDBusVirtualObject {
public:
    ScreenSaver(uint offset, int delayMs, bool locked)
        : m_offset(offset)
        , m_delayMs(delayMs)
        , m_locked(locked)
    {
        m_started.start();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == QLatin1String("GetActive")) {
            connection.send(message.createReply(m_locked));
            return true;
        }
        if (message.member() != QLatin1String("GetSessionIdleTime")) {
            return false;
        }
        const auto seconds = static_cast<uint>(m_started.elapsed() / 1000) + m_offset;
        const QDBusMessage reply = message.createReply(QVariant::fromValue(seconds));
        if (m_delayMs <= 0) {
            connection.send(reply);
            return true;
        }
        message.setDelayedReply(true);
        QTimer::singleShot(m_delayMs, [connection, reply] { connection.send(reply); });
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    uint m_offset;
    int m_delayMs;
    bool m_locked;
    QElapsedTimer m_started;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ScreenSaver service(argc > 1 ? QString::fromLocal8Bit(argv[1]).toUInt() : 0,
        argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0,
        argc > 3 && QLatin1String(argv[3]) == "locked");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service)
        || !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) {
        return 1;
    }
    return QCoreApplication::exec();
}
