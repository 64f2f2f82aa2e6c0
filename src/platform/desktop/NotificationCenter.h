#pragma once

#include <QCoro/QCoroTask>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The desktop's notification service: posting a notification and taking back the ones this
// process posted.
//
// Main-thread only. The operations never block: each completes when the service has answered.
class NotificationCenter {
public:
    // How urgently the desktop should show a notification.
    enum class Urgency : std::uint8_t { low = 0, normal = 1, critical = 2 };

    struct Request {
        // The one line every desktop shows.
        std::string summary;
        // Further text; empty shows none.
        std::string body;
        Urgency urgency = Urgency::normal;
    };

    // The answer to post(): the identifier the service gave, or why it failed.
    struct PostResult {
        std::optional<std::uint32_t> identifier;
        // The service's error name ("org.freedesktop.DBus.Error.ServiceUnknown") and message when
        // nothing was posted.
        std::string errorName;
        std::string errorMessage;

        bool succeeded() const { return identifier.has_value(); }
    };

    virtual ~NotificationCenter() = default;

    // Whether notifications can be shown: true when the service answers at all. Asked again at
    // every call, so a service that starts later is found.
    virtual QCoro::Task<bool> requestAuthorization() = 0;

    // Shows the notification at once.
    virtual QCoro::Task<PostResult> post(Request request) = 0;

    // Takes back every notification posted through this center that may still be listed. A
    // failure is only logged: a notification the user closed already is no fault.
    virtual QCoro::Task<void> removeAllDelivered() = 0;

    // The center the application uses. Tests install a fake; when nothing has been installed,
    // the desktop's service over D-Bus is used (created on first use, needs the
    // QCoreApplication).
    static NotificationCenter& shared();
    // Not owned; nullptr goes back to the desktop's service on the next shared().
    static void setShared(NotificationCenter* center);
};

} // namespace platform
