#pragma once

#include <QMetaProperty>
#include <QObject>

#include <functional>

namespace zk {

// Calls back whenever a property of another object announces a change through its notify signal,
// whatever that signal's arguments. Lives on the thread of the object it follows.
class PropertyChangeRelay : public QObject {
    Q_OBJECT

public:
    // Nothing is followed when the property does not exist or announces no changes.
    PropertyChangeRelay(QObject* object, const QMetaProperty& property, std::function<void()> onChange);
    bool isFollowing() const { return static_cast<bool>(m_connection); }

private Q_SLOTS:
    void changed();

private:
    std::function<void()> m_onChange;
    QMetaObject::Connection m_connection;
};

} // namespace zk
