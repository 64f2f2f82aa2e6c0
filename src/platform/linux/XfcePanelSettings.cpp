#include "platform/linux/XfcePanelSettings.h"

#include "platform/linux/BusNameOwner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace platform {

namespace {

constexpr const char* xfconfService = "org.xfce.Xfconf";
constexpr const char* xfconfPath = "/org/xfce/Xfconf";
constexpr const char* panelChannel = "xfce4-panel";
constexpr const char* desktopChannel = "xsettings";
constexpr const char* themeProperty = "/Net/ThemeName";

} // namespace

XfcePanelSettings& XfcePanelSettings::shared()
{
    static XfcePanelSettings* settings = new XfcePanelSettings;
    return *settings;
}

XfcePanelSettings::XfcePanelSettings()
{
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    qRegisterMetaType<QDBusVariant>();
    m_xfconf = new BusNameOwner(bus, QString::fromLatin1(xfconfService), this);
    const QString path = QString::fromLatin1(xfconfPath);
    const QString interface = QString::fromLatin1(xfconfService);
    // The bus tells only these channels (and of the desktop's, only the theme's name).
    const QList<QStringList> matches { { QString::fromLatin1(panelChannel) },
        { QString::fromLatin1(desktopChannel), QString::fromLatin1(themeProperty) } };
    for (const QStringList& match : matches) {
        m_xfconf->connectSignal(path, interface, QStringLiteral("PropertyChanged"), this,
            SLOT(propertyChanged(QString, QString, QDBusVariant, QDBusMessage)), match);
        m_xfconf->connectSignal(path, interface, QStringLiteral("PropertyRemoved"), this,
            SLOT(propertyRemoved(QString, QString, QDBusMessage)), match);
    }
}

bool XfcePanelSettings::changesThePanel(const QString& channel, const QString& property)
{
    if (channel == QLatin1String(panelChannel)) {
        // The panels' own settings; the plugins' do not colour the panel.
        return property.startsWith(QLatin1String("/panels"));
    }
    return channel == QLatin1String(desktopChannel) && property == QLatin1String(themeProperty);
}

void XfcePanelSettings::propertyChanged(
    const QString& channel, const QString& property, const QDBusVariant&, const QDBusMessage& message)
{
    heard(channel, property, message);
}

void XfcePanelSettings::propertyRemoved(
    const QString& channel, const QString& property, const QDBusMessage& message)
{
    // A removed property takes its default again.
    heard(channel, property, message);
}

void XfcePanelSettings::heard(const QString& channel, const QString& property, const QDBusMessage& message)
{
    if (m_xfconf->sentByOwner(message) && changesThePanel(channel, property)) {
        emit changed();
    }
}

} // namespace platform
