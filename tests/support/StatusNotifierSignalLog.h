#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <utility>
#include <vector>

// The change signals a StatusNotifierItem sends, in order, as a host listening to it gets them.
class StatusNotifierSignalLog : public QObject {
    Q_OBJECT
public:
    StatusNotifierSignalLog(QDBusConnection connection, const QString& service);

    int count(const QString& name) const;

    std::vector<QString> names;
    std::vector<std::pair<QString, QString>> labels;
    std::vector<QString> statuses;

public Q_SLOTS:
    void newIcon();
    void newAttentionIcon();
    void newToolTip();
    void status(const QString& value);
    void label(const QString& label, const QString& guide);
};
