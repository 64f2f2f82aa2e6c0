#pragma once

#include <cstdint>
#include <string>

struct sqlite3;

namespace platform {

// Triggers in the settings file that give every row a version as it is inserted, updated or
// deleted, by whichever program commits it: the greatest version then names the latest change of
// any row. Another program's commit thus tells which rows it changed, and catching up with it
// reads those rows alone, however large the others are. The versions live in a table of their
// own, so the defaults table reads as it always has.
//
// The triggers never meet a conflict of their own, so a writer's ON CONFLICT clause (which SQLite
// lets override the triggers') changes nothing in them. The greatest version never falls: the
// table's rows are neither deleted nor lowered by anyone.
struct DefaultsChangeCounts {
    static constexpr const char* tableName = "defaults_changes";

    // Makes the table and the triggers where they are missing, in one transaction (nothing is
    // written when none is); SQLite's code.
    static int install(sqlite3* db);
    // The greatest version in the file (0 for none), as of the statement's own read. SQLite's code.
    static int latestVersion(sqlite3* db, std::int64_t& version);
    // The file's schema version, which every change of its tables or triggers raises.
    static int schemaVersion(sqlite3* db, std::int64_t& version);
};

} // namespace platform
