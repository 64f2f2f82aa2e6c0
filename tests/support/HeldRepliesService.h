#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>
#include <QVariantList>

// A service that takes every call to one object (and to those below it) and answers only when the
// test says so: what an adapter meets when a service is slow or hung. It lives on the test's main
// thread, so the calls arrive while that thread serves its events.
class HeldRepliesService final : public QDBusVirtualObject {
public:
    HeldRepliesService(QDBusConnection connection, const QString& service, const QString& path);
    ~HeldRepliesService() override;

    // Whether it took the service name and the object path.
    bool isServing() const { return m_serving; }
    // The calls not answered yet, oldest first.
    const QList<QDBusMessage>& heldCalls() const { return m_held; }
    // Answers the oldest held call with `arguments`.
    void answerOldest(const QVariantList& arguments);
    // Answers the oldest held call, a property Get, with `value`.
    void answerOldestProperty(const QVariant& value);
    // Answers the oldest held call with the error `name`.
    void failOldest(const QString& name);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    QDBusConnection m_connection;
    QString m_service;
    QString m_path;
    bool m_serving = false;
    QList<QDBusMessage> m_held;
};
