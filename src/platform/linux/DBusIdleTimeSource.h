#pragma once

#include "platform/desktop/IdleTimeSource.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

namespace platform {

// The idle time from a desktop's D-Bus service. A D-Bus round trip may take long, and the question
// comes every second on the main thread, so the source never waits for the service: it answers
// the last figure received plus the time since it was received, and asks again in the background
// (one call at a time). Before the first answer it says 0. Failed calls keep the last figure
// growing and are logged once until the service answers again. Every event type gets the same
// figure. Main-thread only.
class DBusIdleTimeSource final : public IdleTimeSource {
public:
    struct Service {
        QString name; // bus name
        QString path;
        QString interface;
        QString method;
        double secondsPerUnit = 1; // the method answers one unsigned number in these units
        std::string description;
    };

    // GNOME Mutter: GetIdletime on org.gnome.Mutter.IdleMonitor, in milliseconds.
    static Service mutterIdleMonitor();
    // org.freedesktop.ScreenSaver: GetSessionIdleTime, in seconds.
    static Service freedesktopScreenSaver();

    // Asks nothing yet: the first question starts the first call.
    DBusIdleTimeSource(QDBusConnection connection, Service service);
    ~DBusIdleTimeSource() override;

    // Asks once and waits up to `timeoutMs` for the answer, which becomes the first figure; false
    // (with `error` set) when the service is missing or answers no number. Used to choose a
    // backend at start-up; the service must not live on this thread.
    bool probe(int timeoutMs, std::string* error = nullptr);

    double secondsSinceLastEvent(InputEventType type) override;
    bool distinguishesEventTypes() const override { return false; }
    double secondsSinceLastInput() override;
    std::string name() const override { return m_service.description; }

    // How long a background call may take before it counts as failed.
    static constexpr int callTimeoutMs = 5000;

private:
    double currentFigure();
    void refresh();
    std::optional<double> secondsFromReply(const QList<QVariant>& arguments, std::string* error) const;
    void received(double seconds);
    void failed(const std::string& error);

    QDBusConnection m_connection;
    Service m_service;
    QObject m_context; // owns the pending call watchers, so none outlives the source
    bool m_callPending = false;
    bool m_hasAnswer = false;
    double m_lastSeconds = 0;
    double m_receivedAtUptime = 0;
    bool m_reportedFailure = false;
};

} // namespace platform
