#include "app/startup/SettingsMigrations.h"

#include "app/engine/NotificationType.h"
#include "app/engine/SettingsKeys.h"
#include "app/engine/ShowInMenuBar.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/ZKApp.h"
#include "libraries/defaults/Migration.h"
#include "platform/Logger.h"

#include <optional>

namespace kiruvo::SettingsMigrations {

namespace {

// The same setting in `suite`: the application's key itself when that is its suite, else a key of
// the same name and default there.
template <class Value>
Defaults::Key<Value> sameKeyIn(
    const Defaults::Key<Value>& key, const std::shared_ptr<platform::UserDefaults>& suite)
{
    if (key.suite() == suite) {
        return key;
    }
    if constexpr (Defaults::isOptional<Value>) {
        if (!key.defaultValue()) {
            return Defaults::Key<Value>(key.name(), suite);
        }
    }
    return Defaults::Key<Value>(key.name(), key.defaultValue(), suite);
}

bool isStored(const platform::UserDefaults& suite, const std::string& key)
{
    return suite.storedValue(key) != nullptr;
}

// The old Boolean as stored, else its default; nothing when it was never stored and the new
// setting already holds a choice, which must not be overwritten by the old default.
std::optional<bool> legacyChoice(const platform::UserDefaults& suite, const std::string& legacyKey,
    const std::string& targetKey, bool fallback)
{
    if (isStored(suite, legacyKey)) {
        if (const auto object = suite.storedValue(legacyKey)) {
            if (const bool* value = object->getIf<bool>()) {
                return *value;
            }
            if (const auto* number = object->getIf<std::int64_t>()) {
                return *number != 0;
            }
        }
        return fallback;
    }
    if (isStored(suite, targetKey)) {
        return std::nullopt;
    }
    return fallback;
}

// Writes the migrated choice, first copying aside a stored value of the setting that does not read
// as one (text that does not decode is copied by the store itself).
template <class Value> void writeChoice(platform::UserDefaults& suite, const std::string& key, Value choice)
{
    if (!Defaults::detail::backUpIfUnreadable<Value>(suite, key)) {
        return;
    }
    suite.setObject(platform::PropertyList(rawValueString(choice)), key);
}

} // namespace

bool convertToDefaultsV5(const std::shared_ptr<platform::UserDefaults>& suite)
{
    Defaults::PropagationSuppression silence;
    return Defaults::migrate(Defaults::Version::v5, sameKeyIn(Keys::sessions(), suite),
        sameKeyIn(Keys::showInMenuBar(), suite), sameKeyIn(Keys::notificationType(), suite),
        sameKeyIn(Keys::notificationSound(), suite));
}

RunOnce kitRunOnce(const std::shared_ptr<platform::UserDefaults>& suite)
{
    return [suite](const std::string& identifier, const std::function<bool()>& work) {
        if (zk::areRunOnceFlagsUnknown(suite) || zk::hasRunOnce(identifier, suite)) {
            return false;
        }
        if (work()) {
            zk::runOnce(identifier, suite);
        }
        return true;
    };
}

void runDefaultsMigration(
    bool isFirstLaunch, const RunOnce& runOnce, const std::shared_ptr<platform::UserDefaults>& suite)
{
    runOnce(defaultsV5Identifier, [&] {
        // The first launch has nothing to convert, and its flag is consumed all the same.
        if (isFirstLaunch || convertToDefaultsV5(suite)) {
            return true;
        }
        platform::log(platform::LogLevel::Warning, platform::lcStore(),
            "The settings of an earlier version could not all be converted; the next launch tries again");
        return false;
    });
}

void runDefaultsMigration()
{
    runDefaultsMigration(zk::ZKApp::isFirstLaunch(), kitRunOnce());
}

void migrateShowDurationInMenuBarSetting(
    bool isFirstLaunch, const std::shared_ptr<platform::UserDefaults>& suite)
{
    if (isFirstLaunch) {
        return;
    }
    const auto choice = legacyChoice(*suite, "showDurationInMenuBar", "showInMenuBar", true);
    if (!choice) {
        return;
    }
    writeChoice(
        *suite, "showInMenuBar", *choice ? ShowInMenuBar::currentSessionDuration : ShowInMenuBar::icon);
}

void migrateUseSystemNotificationSetting(
    bool isFirstLaunch, const std::shared_ptr<platform::UserDefaults>& suite)
{
    if (isFirstLaunch) {
        return;
    }
    const auto choice = legacyChoice(*suite, "useSystemNotifications", "notificationType", false);
    if (!choice) {
        return;
    }
    writeChoice(*suite, "notificationType",
        *choice ? NotificationType::systemNotification : NotificationType::popover);
}

} // namespace kiruvo::SettingsMigrations
