#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace platform {

// Triggers in the settings file that give every row a version as it is inserted, updated or
// deleted, by whichever program commits it: the greatest version then names the latest change of
// any row. Another program's commit thus tells which rows it changed, and catching up with it
// reads those rows alone, however large the others are.
//
// The versions are rows of the defaults table itself, of the suite versionSuite, so that
// the triggers name no other table: nothing another program drops can make a write to the table
// fail, and a build that knows only the defaults table still takes the file. They are only there
// while the store has the file open: remove() takes them and the triggers away again, so that the
// file left is the defaults table alone. A store's opening also removes the separate table of
// versions (and its triggers) an earlier build kept.
//
// The triggers never meet a conflict of their own, so a writer's ON CONFLICT clause (which SQLite
// lets override the triggers') changes nothing in them; they leave the version rows alone, so no
// setting of recursive triggers makes them call themselves.
struct DefaultsChangeCounts {
    // The suite of the versions; the version of the row of `key` of suite S is under the key
    // versionKey(S, key).
    static constexpr const char* versionSuite = "kiruvo.row-versions";
    // The separate table of versions of an earlier build.
    static constexpr const char* legacyTableName = "defaults_changes";

    // Makes the triggers where they are missing, and removes an earlier build's, in one
    // transaction; SQLite's code.
    static int install(sqlite3* db);
    // Removes the triggers and every version row, in one transaction; SQLite's code.
    static int remove(sqlite3* db);
    // The greatest version in the file (0 for none), as of the statement's own read. SQLite's code.
    static int latestVersion(sqlite3* db, std::int64_t& version);
    // The file's schema version, which every change of its tables or triggers raises.
    static int schemaVersion(sqlite3* db, std::int64_t& version);
    // An SQL condition true for the rows of `column` (a suite) that are values, not versions.
    static std::string isValueRow(const std::string& column);
    // The byte length of `suite`, ":", `suite`, ":" and `key`: no row's key of its own is named so,
    // and a query of another program's by key alone meets no version.
    static std::string versionKey(const std::string& suite, const std::string& key);
    // The suite and key a version's key names; false for a key not made by versionKey().
    static bool parseVersionKey(const std::string& text, std::string& suite, std::string& key);
};

} // namespace platform
