#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <vector>

class QAccessibleInterface;

// For a test of what a screen reader meets: the running test runs again in a child test program on
// an X server of its own, whose session bus is a private one with the desktop's accessibility bus
// launcher (at-spi2-core) on it and Qt's bridge to that bus switched on. In the child, a reader
// object asks the child's own accessible objects over the accessibility bus, as Orca does; the test
// fails when the child fails, or ends by a crash.
class ScreenReaderSession {
public:
    // Whether the accessibility bus launcher is installed (a test without it is skipped).
    static bool isAvailable();
    // Whether this program is the child started by runCurrentTest().
    static bool isChild();
    // Runs the running test in a child under its own accessibility bus and fails it unless it passed
    // there; skips it where the launcher is not installed.
    static void runCurrentTest();

    // In the child: a reader on the accessibility bus, once the application's bridge is there.
    ScreenReaderSession();
    ~ScreenReaderSession();
    ScreenReaderSession(const ScreenReaderSession&) = delete;
    ScreenReaderSession& operator=(const ScreenReaderSession&) = delete;

    bool isConnected() const { return !m_application.isEmpty(); }

    // Calls a method of the object the reader knows for `object`, serving this thread's events (the
    // application's side of the bus) until the answer comes.
    QDBusMessage call(QAccessibleInterface* object, const QString& interface, const QString& method,
        const QVariantList& arguments = {});
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
        const QVariantList& arguments = {});
    QVariant property(QAccessibleInterface* object, const QString& interface, const QString& name);
    // A call of the reader's to the application's object at `path`, for askAll().
    QDBusMessage question(const QString& path, const QString& interface, const QString& method,
        const QVariantList& arguments = {}) const;
    // Sends the calls as a reader in a hurry does, up to `waiting` unanswered at a time, serving this
    // thread's events until each is answered or has waited `patienceMs`; the answers in the calls'
    // order (a timeout is an error answer).
    std::vector<QDBusMessage> askAll(
        const std::vector<QDBusMessage>& calls, int waiting = 64, int patienceMs = 10000);
    // The object path under which the bridge offers `object`.
    static QString pathOf(QAccessibleInterface* object);

private:
    QDBusConnection m_bus;
    QString m_application;
};
