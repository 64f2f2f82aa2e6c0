#pragma once

#include <QObject>

class QDBusMessage;
class QDBusVariant;

namespace platform {

class BusNameOwner;

// Xfce's panel keeps its look in xfconf, and changes it without telling any other client: its dark
// mode, background style and colour, and the desktop's theme it follows repaint the panel, while
// the tray's named colours (_NET_SYSTEM_TRAY_COLORS) stay as they were. So the settings store's
// own change signals are followed, only for the panel's channel and the theme's name, which the
// bus passes on only when the user changes them: the application wakes for nothing else.
//
// Main-thread only.
class XfcePanelSettings final : public QObject {
    Q_OBJECT
public:
    static XfcePanelSettings& shared();

    // Whether a change of this property of this channel can change how the panel looks.
    static bool changesThePanel(const QString& channel, const QString& property);

signals:
    void changed();

private:
    XfcePanelSettings();
    Q_SLOT void propertyChanged(const QString& channel, const QString& property, const QDBusVariant& value,
        const QDBusMessage& message);
    Q_SLOT void propertyRemoved(const QString& channel, const QString& property, const QDBusMessage& message);
    void heard(const QString& channel, const QString& property, const QDBusMessage& message);

    BusNameOwner* m_xfconf = nullptr;
};

} // namespace platform
