#include "platform/store/UnreadableBackup.h"

#include "platform/store/DefaultsConnection.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/SqliteSupport.h"

#include <sqlite3.h>

namespace platform {

std::string unreadableBackupKey(
    const std::string& name, std::int64_t unixSeconds, const std::function<bool(const std::string&)>& isTaken)
{
    const std::string base = name + ".unreadable-" + std::to_string(unixSeconds);
    std::string key = base;
    for (int attempt = 2; isTaken(key); ++attempt) {
        key = base + "-" + std::to_string(attempt);
    }
    return key;
}

std::optional<std::pair<std::string, StoredValue>> backUpUnreadable(DefaultsConnection& file,
    const std::string& backupKey, const std::string& suite, const std::string& text, std::string& failure)
{
    PropertyList copy(text);
    auto encoded = PropertyListJson::encode(copy);
    if (!encoded) {
        copy = PropertyList(Bytes(text.begin(), text.end()));
        encoded = PropertyListJson::encode(copy);
    }
    if (!encoded) {
        failure = "its unreadable stored text could not be copied";
        return std::nullopt;
    }
    const int rc = file.write(suite, backupKey, &*encoded);
    if (rc != SQLITE_DONE) {
        failure = "its unreadable stored text could not be copied: " + file.message(rc);
        return std::nullopt;
    }
    return std::pair(backupKey, std::make_shared<const PropertyList>(std::move(copy)));
}

int replaceUnreadable(DefaultsConnection& file, const std::string& backupKey, const std::string& suite,
    const std::string& key, const std::string& unreadable, const std::string* text,
    std::optional<std::pair<std::string, StoredValue>>& backup, std::string& failure)
{
    int rc = file.exec("SAVEPOINT replaceUnreadable");
    if (rc != SQLITE_OK) {
        failure = file.message(rc);
        return rc;
    }
    backup = backUpUnreadable(file, backupKey, suite, unreadable, failure);
    if (!backup) {
        rc = sqlite::isBusy(file.lastFailure()) ? SQLITE_BUSY : SQLITE_ABORT;
    } else if ((rc = file.write(suite, key, text)) != SQLITE_DONE) {
        failure = file.message(rc);
    }
    if (rc != SQLITE_DONE) {
        file.exec("ROLLBACK TO replaceUnreadable");
    }
    if (const int released = file.exec("RELEASE replaceUnreadable");
        released != SQLITE_OK && rc == SQLITE_DONE) {
        rc = released;
        failure = file.message(rc);
        file.exec("ROLLBACK");
    }
    return rc;
}

} // namespace platform
