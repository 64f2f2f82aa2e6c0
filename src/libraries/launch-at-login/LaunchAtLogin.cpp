#include "libraries/launch-at-login/LaunchAtLogin.h"

#include "kit/foundation/ZKApp.h"
#include "libraries/launch-at-login/KVO.h"
#include "libraries/launch-at-login/Observable.h"
#include "platform/Logger.h"
#include "platform/combine/CurrentValueSubject.h"
#include "platform/desktop/LoginItemService.h"

#include <fmt/format.h>
#include <fmt/printf.h>

namespace LaunchAtLogin {

namespace {

using Status = platform::LoginItemService::Status;

platform::LoginItemService& service()
{
    return platform::LoginItemService::mainAppService();
}

platform::combine::CurrentValueSubject<bool>& subject()
{
    static auto* created = new platform::combine::CurrentValueSubject<bool>(isEnabled());
    return *created;
}

} // namespace

void Logger::error(std::string_view message) const
{
    platform::log(platform::LogLevel::Error, platform::lcStartup(), message);
}

const Logger& logger()
{
    static const Logger shared { "com.zelvantorium.LaunchAtLogin", "main" };
    return shared;
}

bool isEnabled()
{
    return service().status() == Status::enabled;
}

void setEnabled(bool value)
{
    emit observable().objectWillChange();
    emit kvo().isEnabledWillChange();
    setWithAppService(value, [] {
        // What the desktop holds now, which is not what was asked for when it refused.
        const bool state = isEnabled();
        emit kvo().isEnabledChanged(state);
        emit observable().objectWillChange();
        subject().send(state);
    });
}

platform::combine::AnyPublisher<bool> publisher()
{
    return subject().eraseToAnyPublisher();
}

Observable& observable()
{
    static auto* shared = new Observable();
    return *shared;
}

KVO& kvo()
{
    static auto* shared = new KVO();
    return *shared;
}

const std::string& legacyHelperBundleIdentifier()
{
    static const std::string identifier = zk::ZKApp::bundleIdentifier() + "-LaunchAtLoginHelper";
    return identifier;
}

bool isLegacyHelperEnabled()
{
    return service().isLoginItemEnabled(legacyHelperBundleIdentifier());
}

void disableLegacyHelper()
{
    // Nothing depends on it: a leftover entry only starts a program that no longer exists.
    static_cast<void>(service().removeLoginItem(legacyHelperBundleIdentifier()));
}

void setWithAppService(bool value, std::function<void()> done)
{
    auto completion = [value, done = std::move(done)](const platform::LoginItemService::Failure& failure) {
        if (failure) {
            logger().error(
                fmt::sprintf("Failed to %s launch at login: %s", value ? "enable" : "disable", *failure));
        }
        if (done) {
            done();
        }
    };
    if (value) {
        // An enabled item is left as it is: taking it away first could leave it gone when the
        // new one cannot be written.
        service().registerApp(std::move(completion));
    } else {
        service().unregisterApp(std::move(completion));
    }
}

const Defaults::Key<bool>& hasMigratedKey()
{
    static const Defaults::Key<bool> key("LaunchAtLogin__hasMigrated", false);
    return key;
}

void migrateIfNeeded()
{
    if (Defaults::get(hasMigratedKey())) {
        return;
    }
    Defaults::set(hasMigratedKey(), true);
    if (isLegacyHelperEnabled()) {
        setWithAppService(true);
    }
    disableLegacyHelper();
}

} // namespace LaunchAtLogin
