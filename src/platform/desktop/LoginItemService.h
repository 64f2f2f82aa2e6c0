#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// The desktop's record of whether the application starts when the user logs in: the application's
// own login item, and login items of earlier versions found by their identifier.
//
// Outside a sandbox this is an XDG autostart entry; inside a Flatpak sandbox the desktop portal's
// Background request. Every read asks the desktop again; nothing is cached here.
//
// Main-thread only. register and unregister may finish later (the portal asks the user): their
// completion runs on the main thread once the desktop has answered, at once when it needs not ask.
class LoginItemService {
public:
    // What the desktop holds for the application's own item. An item the user switched off
    // (hidden, or pointing at another program) is `notRegistered`.
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    // Nothing on success; otherwise why the desktop refused, in words for the log.
    using Failure = std::optional<std::string>;
    using Completion = std::function<void(const Failure& failure)>;

    virtual ~LoginItemService() = default;

    virtual Status status() const = 0;
    // Makes the application start at login. An item that is enabled already is left as it is.
    virtual void registerApp(Completion completion) = 0;
    // Stops the application from starting at login.
    virtual void unregisterApp(Completion completion) = 0;

    // Whether the login item of another program (an earlier version's helper) with this
    // identifier is switched on.
    virtual bool isLoginItemEnabled(const std::string& identifier) const = 0;
    // Removes that item; false when it is still there afterwards.
    virtual bool removeLoginItem(const std::string& identifier) = 0;

    // The application's own service: the desktop portal inside a Flatpak sandbox (`/.flatpak-info`
    // exists), the user's autostart folder otherwise. Tests install a fake.
    static LoginItemService& mainAppService();
    // Not owned; nullptr goes back to the desktop's on the next mainAppService().
    static void setMainAppService(LoginItemService* service);

    // Whether the process runs inside a Flatpak sandbox.
    static bool isFlatpakSandbox(const std::string& flatpakInfoPath = "/.flatpak-info");
};

} // namespace platform
