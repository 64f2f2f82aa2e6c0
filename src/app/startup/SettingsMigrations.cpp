#include "app/startup/SettingsMigrations.h"

#include "app/engine/NotificationType.h"
#include "app/engine/Session.h"
#include "app/engine/ShowInMenuBar.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/MacSystemSound.h"
#include "libraries/defaults/Defaults.h"
#include "platform/Logger.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/JsonWriter.h"

#include <optional>

namespace kiruvo::SettingsMigrations {

namespace {

std::optional<platform::JsonValue> storedJson(const platform::UserDefaults& suite, const std::string& key)
{
    const auto object = suite.objectForKey(key);
    const std::string* text = object ? object->getIf<std::string>() : nullptr;
    if (!text) {
        return std::nullopt;
    }
    return platform::JsonReader::parse(*text);
}

// Writes `value` and answers whether it is stored now: a write that does not commit leaves the
// stored value as it was.
bool store(platform::UserDefaults& suite, platform::PropertyList value, const std::string& key)
{
    return suite.setObject(value, key);
}

// Each conversion answers false only when a converted value could not be stored.
bool convertSessions(platform::UserDefaults& suite)
{
    const auto json = storedJson(suite, "sessions");
    if (!json || !json->is_array()) {
        return true;
    }
    platform::PropertyListArray converted;
    converted.reserve(json->size());
    try {
        for (const auto& element : *json) {
            Session session;
            from_json(element, session);
            converted.emplace_back(session.jsonText());
        }
    } catch (const std::exception&) {
        return true; // the whole list stays in its old form
    }
    return store(suite, platform::PropertyList(std::move(converted)), "sessions");
}

// An enumeration stored as the JSON string of its raw value becomes the raw value itself.
template <class Lookup>
bool convertRawValue(platform::UserDefaults& suite, const std::string& key, Lookup lookup)
{
    const auto json = storedJson(suite, key);
    if (!json || !json->is_string()) {
        return true;
    }
    const std::string& raw = json->get_ref<const std::string&>();
    if (!lookup(raw)) {
        return true;
    }
    return store(suite, platform::PropertyList(raw), key);
}

bool isStored(const platform::UserDefaults& suite, const std::string& key)
{
    return suite.database()->value(suite.suiteName(), key) != nullptr;
}

// The old Boolean as stored, else its default; nothing when it was never stored and the new
// setting already holds a choice, which must not be overwritten by the old default.
std::optional<bool> legacyChoice(const platform::UserDefaults& suite, const std::string& legacyKey,
    const std::string& targetKey, bool fallback)
{
    if (isStored(suite, legacyKey)) {
        if (const auto object = suite.database()->value(suite.suiteName(), legacyKey)) {
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
    // Every key is tried, also after a failed one: what is converted stays converted.
    bool stored = convertSessions(*suite);
    stored = convertRawValue(*suite, "showInMenuBar", [](const std::string& raw) {
        return fromRawValue<ShowInMenuBar>(raw).has_value();
    }) && stored;
    stored = convertRawValue(*suite, "notificationType", [](const std::string& raw) {
        return fromRawValue<NotificationType>(raw).has_value();
    }) && stored;
    stored = convertRawValue(*suite, "notificationSound", [](const std::string& raw) {
        return zk::macSystemSoundFromRawValue(raw).has_value();
    }) && stored;
    return stored;
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
        platform::log(platform::LogLevel::Warning, "SettingsMigrations",
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
