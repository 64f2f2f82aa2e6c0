#include "platform/store/DefaultsChangeCounts.h"

#include "platform/store/SqliteSupport.h"

#include <sqlite3.h>

namespace platform {

namespace {

// The version of the row of `row` (new or old) raised above every other: an update where it has
// one, an insert where it has none. Neither can conflict.
std::string raise(const std::string& row)
{
    const std::string names = "suite = " + row + ".suite AND key = " + row + ".key";
    return "UPDATE defaults_changes SET version = (SELECT max(version) + 1 FROM defaults_changes) WHERE "
        + names + "; INSERT INTO defaults_changes SELECT " + row + ".suite, " + row
        + ".key, (SELECT ifnull(max(version), 0) + 1 FROM defaults_changes) WHERE NOT EXISTS (SELECT 1 FROM "
          "defaults_changes WHERE "
        + names + "); ";
}

int singleInteger(sqlite3* db, const char* sql, std::int64_t& value)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    sqlite::Statement statement(raw);
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW) {
        value = sqlite3_column_int64(raw, 0);
        rc = SQLITE_OK;
    }
    return rc;
}

} // namespace

int DefaultsChangeCounts::install(sqlite3* db)
{
    const auto exec
        = [db](const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); };
    int rc = exec("SAVEPOINT change_counts");
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = exec(
        "CREATE TABLE IF NOT EXISTS defaults_changes(suite TEXT NOT NULL, key TEXT NOT NULL, version INTEGER "
        "NOT NULL, PRIMARY KEY(suite, key)); "
        "CREATE INDEX IF NOT EXISTS defaults_changes_by_version ON defaults_changes(version); "
        "CREATE TRIGGER IF NOT EXISTS defaults_inserted AFTER INSERT ON defaults BEGIN "
        + raise("new") + "END; CREATE TRIGGER IF NOT EXISTS defaults_updated AFTER UPDATE ON defaults BEGIN "
        + raise("old") + raise("new")
        + "END; CREATE TRIGGER IF NOT EXISTS defaults_deleted AFTER DELETE ON defaults BEGIN " + raise("old")
        + "END; "
          // A version only ever rises: one taken away or lowered could be given again to a row
          // changed later, which would then read as one memory knows. Such a statement of another
          // program's changes nothing (dropping the table is seen by the schema version).
          "CREATE TRIGGER IF NOT EXISTS defaults_changes_kept BEFORE DELETE ON defaults_changes "
          "BEGIN SELECT RAISE(IGNORE); END; "
          "CREATE TRIGGER IF NOT EXISTS defaults_changes_added BEFORE INSERT ON defaults_changes WHEN "
          "new.version <= (SELECT ifnull(max(version), 0) FROM defaults_changes) BEGIN SELECT RAISE(IGNORE); "
          "END; "
          "CREATE TRIGGER IF NOT EXISTS defaults_changes_raised BEFORE UPDATE ON defaults_changes WHEN "
          "new.version <= (SELECT max(version) FROM defaults_changes) BEGIN SELECT RAISE(IGNORE); END;");
    // A table of that name made by someone else, without these columns, would make every write to
    // the defaults table fail through the triggers: they are not left over it.
    if (rc == SQLITE_OK) {
        sqlite3_stmt* raw = nullptr;
        rc = sqlite3_prepare_v2(db, "SELECT suite, key, version FROM defaults_changes", -1, &raw, nullptr);
        sqlite3_finalize(raw);
    }
    if (rc != SQLITE_OK) {
        exec("ROLLBACK TO change_counts");
    }
    exec("RELEASE change_counts");
    return rc;
}

int DefaultsChangeCounts::latestVersion(sqlite3* db, std::int64_t& version)
{
    version = 0;
    return singleInteger(db, "SELECT ifnull(max(version), 0) FROM defaults_changes", version);
}

int DefaultsChangeCounts::schemaVersion(sqlite3* db, std::int64_t& version)
{
    return singleInteger(db, "PRAGMA schema_version", version);
}

} // namespace platform
