#include "app/startup/SettingsMigrations.h"

#include "app/engine/NotificationType.h"
#include "app/engine/Session.h"
#include "app/engine/ShowInMenuBar.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/MacSystemSound.h"
#include "libraries/defaults/Defaults.h"
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

void convertSessions(platform::UserDefaults& suite)
{
    const auto json = storedJson(suite, "sessions");
    if (!json || !json->is_array()) {
        return;
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
        return; // the whole list stays in its old form
    }
    suite.setObject(platform::PropertyList(std::move(converted)), "sessions");
}

// An enumeration stored as the JSON string of its raw value becomes the raw value itself.
template <class Lookup>
void convertRawValue(platform::UserDefaults& suite, const std::string& key, Lookup lookup)
{
    const auto json = storedJson(suite, key);
    if (!json || !json->is_string()) {
        return;
    }
    const std::string& raw = json->get_ref<const std::string&>();
    if (!lookup(raw)) {
        return;
    }
    suite.setObject(platform::PropertyList(raw), key);
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

} // namespace

void convertToDefaultsV5(const std::shared_ptr<platform::UserDefaults>& suite)
{
    Defaults::PropagationSuppression silence;
    convertSessions(*suite);
    convertRawValue(*suite, "showInMenuBar",
        [](const std::string& raw) { return fromRawValue<ShowInMenuBar>(raw).has_value(); });
    convertRawValue(*suite, "notificationType",
        [](const std::string& raw) { return fromRawValue<NotificationType>(raw).has_value(); });
    convertRawValue(*suite, "notificationSound",
        [](const std::string& raw) { return zk::macSystemSoundFromRawValue(raw).has_value(); });
}

void runDefaultsMigration(
    bool isFirstLaunch, const RunOnce& runOnce, const std::shared_ptr<platform::UserDefaults>& suite)
{
    if (!runOnce(defaultsV5Identifier)) {
        return;
    }
    if (isFirstLaunch) {
        return;
    }
    convertToDefaultsV5(suite);
}

void runDefaultsMigration()
{
    runDefaultsMigration(
        zk::ZKApp::isFirstLaunch(), [](const std::string& identifier) { return zk::runOnce(identifier); });
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
    suite->setObject(platform::PropertyList(rawValueString(
                         *choice ? ShowInMenuBar::currentSessionDuration : ShowInMenuBar::icon)),
        "showInMenuBar");
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
    suite->setObject(platform::PropertyList(rawValueString(
                         *choice ? NotificationType::systemNotification : NotificationType::popover)),
        "notificationType");
}

} // namespace kiruvo::SettingsMigrations
