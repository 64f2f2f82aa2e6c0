#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>

namespace platform {

// One picture of a StatusNotifierItem icon, as the protocol sends it (D-Bus "(iiay)"): width,
// height and ARGB32 pixels in network byte order, row by row.
struct StatusNotifierIconPixmap {
    int width = 0;
    int height = 0;
    QByteArray data;

    static StatusNotifierIconPixmap fromImage(const QImage& image);
    QImage toImage() const;

    friend bool operator==(const StatusNotifierIconPixmap& a, const StatusNotifierIconPixmap& b)
    {
        return a.width == b.width && a.height == b.height && a.data == b.data;
    }
};
using StatusNotifierIconPixmaps = QList<StatusNotifierIconPixmap>;

// A StatusNotifierItem tooltip (D-Bus "(sa(iiay)ss)"): icon name, icon pictures, title and body.
struct StatusNotifierToolTip {
    QString iconName;
    StatusNotifierIconPixmaps iconPixmaps;
    QString title;
    QString description;

    friend bool operator==(const StatusNotifierToolTip& a, const StatusNotifierToolTip& b)
    {
        return a.iconName == b.iconName && a.iconPixmaps == b.iconPixmaps && a.title == b.title
            && a.description == b.description;
    }
};

// Registers both types with Qt's meta-type system and QtDBus; safe to call more than once.
void registerStatusNotifierTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierIconPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierIconPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip);

} // namespace platform

Q_DECLARE_METATYPE(platform::StatusNotifierIconPixmap)
Q_DECLARE_METATYPE(platform::StatusNotifierToolTip)
