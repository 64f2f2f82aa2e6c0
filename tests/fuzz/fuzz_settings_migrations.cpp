// The start-up conversions of settings written by earlier versions, run over whatever the store
// holds for the keys they read: nothing stored disappears, a replaced value is either text of an
// earlier version, the target of a stored earlier setting, or kept under a backup key, and running
// the conversions again changes nothing.
#include "FuzzFolder.h"
#include "FuzzTarget.h"

#include "app/engine/SettingsKeys.h"
#include "app/startup/SettingsMigrations.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/UserDefaults.h"

#include <array>
#include <map>
#include <string>

namespace {

using Rows = std::map<std::string, platform::PropertyList>;

constexpr std::array<const char*, 6> keys { "sessions", "showInMenuBar", "notificationType",
    "notificationSound", "showDurationInMenuBar", "useSystemNotifications" };

Rows storedRows(const platform::UserDefaults& suite)
{
    Rows rows;
    for (const auto& [key, value] : suite.storedValues()) {
        if (value) {
            rows.emplace(key, *value);
        }
    }
    return rows;
}

void convert(const std::shared_ptr<platform::UserDefaults>& suite)
{
    kiruvo::SettingsMigrations::convertToDefaultsV5(suite);
    kiruvo::SettingsMigrations::migrateShowDurationInMenuBarSetting(false, suite);
    kiruvo::SettingsMigrations::migrateUseSystemNotificationSetting(false, suite);
}

bool hasBackupOf(const Rows& rows, const std::string& key, const platform::PropertyList& old)
{
    const std::string prefix = key + ".unreadable-";
    for (const auto& [name, value] : rows) {
        if (name.rfind(prefix, 0) == 0 && value == old) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool registered = [] {
        fuzz::Folder::path();
        kiruvo::Keys::registerAll();
        return true;
    }();
    (void)registered;
    const auto suite = platform::UserDefaults::standard();
    suite->removeAll();

    // One line of the input for each key the conversions read: the object its text encodes, else
    // the text itself; an empty line leaves the key unset.
    const std::string text = fuzz::text(data, size);
    std::size_t start = 0;
    for (const char* key : keys) {
        if (start > text.size()) {
            break;
        }
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        auto object = platform::PropertyListJson::decode(line);
        suite->setObject(object ? *object : platform::PropertyList(line), key);
    }

    const Rows before = storedRows(*suite);
    convert(suite);
    const Rows after = storedRows(*suite);
    for (const auto& [key, old] : before) {
        const auto now = after.find(key);
        fuzz::require(now != after.end(), "nothing stored disappears");
        if (now->second == old) {
            continue;
        }
        const bool wasText = old.getIf<std::string>() != nullptr;
        const bool legacyTarget = (key == "showInMenuBar" && before.count("showDurationInMenuBar") != 0)
            || (key == "notificationType" && before.count("useSystemNotifications") != 0);
        fuzz::require(wasText || legacyTarget || hasBackupOf(after, key, old),
            "a replaced value was text of an earlier version, the target of an earlier setting, or is kept");
    }

    convert(suite);
    fuzz::require(storedRows(*suite) == after, "converting again changes nothing");
    suite->removeAll();
    return 0;
}
