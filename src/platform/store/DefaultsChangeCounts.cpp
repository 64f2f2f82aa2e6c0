#include "platform/store/DefaultsChangeCounts.h"

#include "platform/store/SqliteSupport.h"

#include <sqlite3.h>

#include <charconv>

namespace platform {

namespace {

// Made when asked: a store may close the file while static objects are destroyed at exit.
std::string versionRows()
{
    return std::string("suite = '") + DefaultsChangeCounts::versionSuite + "'";
}

// The version of the row of `row` (new or old) raised above every other: one statement, an
// insert that becomes an update where the row has a version. Only SQLite's core functions, which
// every program's SQLite has.
std::string raise(const std::string& row)
{
    return std::string("INSERT INTO defaults(suite, key, value) SELECT '")
        + DefaultsChangeCounts::versionSuite + "', length(CAST(" + row + ".suite AS BLOB)) || ':' || " + row
        + ".suite || ':' || " + row + ".key, ifnull(max(CAST(value AS INTEGER)), 0) + 1 FROM defaults WHERE "
        + versionRows() + " ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value; ";
}

int singleInteger(sqlite3* db, const std::string& sql, std::int64_t& value)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
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

int inSavepoint(sqlite3* db, const std::string& sql)
{
    const auto exec
        = [db](const std::string& text) { return sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr); };
    int rc = exec("SAVEPOINT change_counts");
    if (rc != SQLITE_OK) {
        return rc;
    }
    rc = exec(sql);
    if (rc != SQLITE_OK) {
        exec("ROLLBACK TO change_counts");
    }
    const int released = exec("RELEASE change_counts");
    if (released != SQLITE_OK) {
        // A commit that could not take the file's lock (a reader of another program's) leaves the
        // transaction open, and with it a lock that would keep every other program out.
        exec("ROLLBACK");
    }
    return rc != SQLITE_OK ? rc : released;
}

} // namespace

std::string DefaultsChangeCounts::isValueRow(const std::string& column)
{
    return column + " <> '" + versionSuite + "'";
}

std::string DefaultsChangeCounts::versionKey(const std::string& suite, const std::string& key)
{
    return std::to_string(suite.size()) + ":" + suite + ":" + key;
}

bool DefaultsChangeCounts::parseVersionKey(const std::string& text, std::string& suite, std::string& key)
{
    const auto colon = text.find(':');
    std::size_t length = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + colon, length);
    if (colon == std::string::npos || error != std::errc() || end != text.data() + colon
        || text.size() < colon + 1 + length + 1 || text[colon + 1 + length] != ':') {
        return false;
    }
    suite = text.substr(colon + 1, length);
    key = text.substr(colon + 1 + length + 1);
    return true;
}

int DefaultsChangeCounts::install(sqlite3* db)
{
    // What an earlier build left: triggers that fail every write once their table is dropped.
    return inSavepoint(db,
        "DROP TRIGGER IF EXISTS defaults_inserted; DROP TRIGGER IF EXISTS defaults_updated; "
        "DROP TRIGGER IF EXISTS defaults_deleted; DROP TABLE IF EXISTS "
            + std::string(legacyTableName)
            + "; CREATE TRIGGER IF NOT EXISTS kiruvo_row_inserted AFTER INSERT ON defaults WHEN "
            + isValueRow("new.suite") + " BEGIN " + raise("new")
            + "END; CREATE TRIGGER IF NOT EXISTS kiruvo_row_updated AFTER UPDATE ON defaults WHEN "
            + isValueRow("old.suite") + " OR " + isValueRow("new.suite") + " BEGIN " + raise("old")
            + raise("new")
            + "END; CREATE TRIGGER IF NOT EXISTS kiruvo_row_deleted AFTER DELETE ON defaults WHEN "
            + isValueRow("old.suite") + " BEGIN " + raise("old") + "END;");
}

int DefaultsChangeCounts::remove(sqlite3* db)
{
    return inSavepoint(db,
        "DROP TRIGGER IF EXISTS kiruvo_row_inserted; DROP TRIGGER IF EXISTS kiruvo_row_updated; "
        "DROP TRIGGER IF EXISTS kiruvo_row_deleted; DELETE FROM defaults WHERE "
            + versionRows() + ";");
}

int DefaultsChangeCounts::latestVersion(sqlite3* db, std::int64_t& version)
{
    version = 0;
    return singleInteger(
        db, "SELECT ifnull(max(CAST(value AS INTEGER)), 0) FROM defaults WHERE " + versionRows(), version);
}

int DefaultsChangeCounts::schemaVersion(sqlite3* db, std::int64_t& version)
{
    return singleInteger(db, "PRAGMA schema_version", version);
}

} // namespace platform
