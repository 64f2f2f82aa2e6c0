#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <atomic>

// What GNOME's session manager tells about inhibitors: org.gnome.SessionManager's InhibitedActions
// at /org/gnome/SessionManager, read with Properties.Get or GetAll and announced with PropertiesChanged. It
// serves on a connection of the test's, whose bus name the source under test is told to ask.
class StandInSessionManager : public QDBusVirtualObject {
public:
    // The bit of InhibitedActions that says idle is inhibited.
    static constexpr uint idleInhibited = 8;
    static constexpr const char* name = "org.gnome.SessionManager";
    static constexpr const char* path = "/org/gnome/SessionManager";

    explicit StandInSessionManager(QDBusConnection connection);
    ~StandInSessionManager() override;

    bool isServing() const { return m_serving; }
    // Sets InhibitedActions and says so, as gnome-session does when an application inhibits.
    void setInhibitedActions(uint actions);

    // Counts every call it answers in `counter` too.
    void countCallsIn(std::atomic<int>* counter) { m_counter = counter; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    QDBusConnection m_connection;
    bool m_serving = false;
    std::atomic<uint> m_actions = 0;
    std::atomic<int>* m_counter = nullptr;
};
