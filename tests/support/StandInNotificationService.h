#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <vector>

// A desktop notification service of our own on the session bus, answering the calls Kiruvo makes.
class NotificationServiceStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Posted {
        uint identifier;
        QString appName;
        QString summary;
        QString body;
        QVariantMap hints;
    };

    std::vector<Posted> posted;
    std::vector<uint> closed;
    int capabilityQueries = 0;

public Q_SLOTS:
    QStringList GetCapabilities()
    {
        ++capabilityQueries;
        return { QStringLiteral("body") };
    }

    uint Notify(const QString& appName, uint /*replacesId*/, const QString& /*appIcon*/,
        const QString& summary, const QString& body, const QStringList& /*actions*/, const QVariantMap& hints,
        int /*expireTimeout*/)
    {
        const uint identifier = m_next++;
        posted.push_back({ identifier, appName, summary, body, hints });
        return identifier;
    }

    void CloseNotification(uint identifier) { closed.push_back(identifier); }

Q_SIGNALS:
    void NotificationClosed(uint id, uint reason);

private:
    uint m_next = 41;
};
