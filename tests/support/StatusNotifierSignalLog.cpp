#include "StatusNotifierSignalLog.h"

#include <algorithm>

namespace {

const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");

} // namespace

StatusNotifierSignalLog::StatusNotifierSignalLog(QDBusConnection connection, const QString& service)
{
    connection.connect(service, itemPath, itemInterface, QStringLiteral("NewIcon"), this, SLOT(newIcon()));
    connection.connect(
        service, itemPath, itemInterface, QStringLiteral("NewAttentionIcon"), this, SLOT(newAttentionIcon()));
    connection.connect(
        service, itemPath, itemInterface, QStringLiteral("NewToolTip"), this, SLOT(newToolTip()));
    connection.connect(
        service, itemPath, itemInterface, QStringLiteral("NewStatus"), this, SLOT(status(QString)));
    connection.connect(service, itemPath, itemInterface, QStringLiteral("XAyatanaNewLabel"), this,
        SLOT(label(QString, QString)));
}

int StatusNotifierSignalLog::count(const QString& name) const
{
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

void StatusNotifierSignalLog::newIcon()
{
    names.push_back(QStringLiteral("NewIcon"));
}

void StatusNotifierSignalLog::newAttentionIcon()
{
    names.push_back(QStringLiteral("NewAttentionIcon"));
}

void StatusNotifierSignalLog::newToolTip()
{
    names.push_back(QStringLiteral("NewToolTip"));
}

void StatusNotifierSignalLog::status(const QString& value)
{
    names.push_back(QStringLiteral("NewStatus"));
    statuses.push_back(value);
}

void StatusNotifierSignalLog::label(const QString& label, const QString& guide)
{
    names.push_back(QStringLiteral("XAyatanaNewLabel"));
    labels.emplace_back(label, guide);
}
