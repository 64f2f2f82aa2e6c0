#include "platform/store/DefaultsFileOpening.h"

#include "platform/PrivateFiles.h"
#include "platform/store/PropertyListJson.h"

#include <sqlite3.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace platform {

using sqlite::columnText;
using sqlite::Connection;
using sqlite::isDamage;
using sqlite::logWarning;
using sqlite::reportFailure;
using sqlite::Statement;

namespace {

using Attempt = DefaultsFileOpening;
using Outcome = DefaultsFileOpening::Outcome;

constexpr const char* memoryPath = ":memory:";
const auto& sqliteMessage = sqlite::message;

Attempt failure(Outcome outcome, int code, std::string message)
{
    Attempt attempt;
    attempt.outcome = outcome;
    attempt.code = code;
    attempt.message = std::move(message);
    return attempt;
}

Attempt sqliteFailure(sqlite3* db, int code, const std::string& step)
{
    return failure(isDamage(code) ? Outcome::Damaged : Outcome::Unavailable, code,
        step + ": " + sqliteMessage(db, code));
}

std::vector<std::string> columnTexts(sqlite3* db, const char* sql, int column, int& rc)
{
    std::vector<std::string> texts;
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (rc != SQLITE_OK) {
        return texts;
    }
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        texts.push_back(columnText(statement.get(), column));
    }
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
    }
    return texts;
}

// Earlier builds counted other programs' changes in the file itself: triggers on the table, and the
// versions in a table "defaults_changes" or in rows of the suite "kiruvo.row-versions", taken away
// at quit. A build that was killed, or met a reader at quit, left them: they go before anything is
// read, and a file without them is not written to.
int removeEarlierBookkeeping(sqlite3* db)
{
    int rc = SQLITE_OK;
    const auto found = columnTexts(db,
        "SELECT name FROM sqlite_schema WHERE name IN ('defaults_changes', 'defaults_inserted', "
        "'defaults_updated', 'defaults_deleted', 'kiruvo_row_inserted', 'kiruvo_row_updated', "
        "'kiruvo_row_deleted') UNION ALL SELECT key FROM defaults WHERE suite = 'kiruvo.row-versions'",
        0, rc);
    if (rc != SQLITE_OK || found.empty()) {
        return rc;
    }
    rc = sqlite3_exec(db,
        "BEGIN IMMEDIATE; DROP TRIGGER IF EXISTS defaults_inserted; DROP TRIGGER IF EXISTS defaults_updated; "
        "DROP TRIGGER IF EXISTS defaults_deleted; DROP TRIGGER IF EXISTS kiruvo_row_inserted; "
        "DROP TRIGGER IF EXISTS kiruvo_row_updated; DROP TRIGGER IF EXISTS kiruvo_row_deleted; DROP TABLE "
        "IF EXISTS defaults_changes; DELETE FROM defaults WHERE suite = 'kiruvo.row-versions'; COMMIT;",
        nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && !sqlite3_get_autocommit(db)) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return rc;
}

// Whether the file holds nothing but our table in the shape we write it (or nothing at all). Only
// reads: a file of another program's must not be changed, not even by switching it to WAL.
std::optional<Attempt> checkShape(sqlite3* db)
{
    int rc = SQLITE_OK;
    const auto tables = columnTexts(db,
        "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
        "ORDER BY name",
        0, rc);
    if (rc != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to read the tables");
    }
    if (tables.empty()) {
        return std::nullopt;
    }
    // An earlier build's table of row versions may lie beside it; the opening removes it.
    if (tables != std::vector<std::string> { "defaults" }
        && tables != std::vector<std::string> { "defaults", "defaults_changes" }) {
        std::string names;
        for (const auto& name : tables) {
            names += (names.empty() ? "" : ", ") + name;
        }
        return failure(Outcome::Foreign, SQLITE_FORMAT, "it holds tables of another program (" + names + ")");
    }
    // Name, declared type, not-null flag and primary-key position of each column, in order.
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, "PRAGMA table_info(defaults)", -1, &raw, nullptr);
    Statement info(raw);
    if (rc != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to read the table");
    }
    std::string shape;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        shape += columnText(info.get(), 1) + ' ' + columnText(info.get(), 2) + ' '
            + std::to_string(sqlite3_column_int(info.get(), 3)) + ' '
            + std::to_string(sqlite3_column_int(info.get(), 5)) + ';';
    }
    if (rc != SQLITE_DONE) {
        return sqliteFailure(db, rc, "Unable to read the table");
    }
    if (shape != "suite TEXT 1 1;key TEXT 1 2;value TEXT 1 0;") {
        return failure(Outcome::Foreign, SQLITE_FORMAT, "its table \"defaults\" has another shape");
    }
    return std::nullopt;
}

// Where a path leads through its links, also to a file not made yet, where weakly_canonical()
// stops at the last link. Empty when a link cannot be read.
fs::path whereLinksLead(const fs::path& path, std::error_code& error)
{
    fs::path current = fs::absolute(path, error);
    // A path that is not there is no link; the library tells that as an error too.
    std::error_code absent;
    for (int hops = 0; !error && hops < 40 && fs::is_symlink(fs::symlink_status(current, absent)); ++hops) {
        const fs::path target = fs::read_symlink(current, error);
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return error ? fs::path() : fs::weakly_canonical(current, error);
}

// Reads every row of the store's table into `attempt`: values, texts that do not decode (reported)
// and long texts decoded when first read. The failure, if any.
std::optional<Attempt> readRows(
    sqlite3* db, const std::string& path, std::size_t deferredDecodeSize, Attempt& attempt)
{
    sqlite3_stmt* rawStatement = nullptr;
    const std::string sql = "SELECT suite, key, value FROM defaults WHERE suite <> 'kiruvo.row-versions'";
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &rawStatement, nullptr);
    Statement select(rawStatement);
    if (rc != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to read the values");
    }
    std::size_t undecodable = 0;
    std::string firstProblem;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        std::string suite = columnText(select.get(), 0);
        std::string key = columnText(select.get(), 1);
        std::string error;
        std::string text = columnText(select.get(), 2);
        if (text.size() >= deferredDecodeSize) {
            attempt.deferred[suite][key] = std::move(text);
            continue;
        }
        auto value = PropertyListJson::decode(text, &error);
        if (!value) {
            // Left in the file untouched, and its text kept, so that the write that replaces
            // it can keep a copy.
            if (undecodable++ == 0) {
                firstProblem = "\"" + key + "\" of suite \"" + suite + "\": " + error;
            }
            attempt.unreadable[suite][key] = std::move(text);
            continue;
        }
        attempt.values[suite][key] = std::make_shared<const PropertyList>(std::move(*value));
    }
    if (rc != SQLITE_DONE) {
        return sqliteFailure(db, rc, "Unable to read the values");
    }
    if (undecodable > 0) {
        reportFailure(SQLITE_FORMAT,
            std::to_string(undecodable) + " stored value(s) in " + path
                + " could not be read as values of the form Kiruvo stores; each is kept as written, reads "
                  "as unset unless its reader knows its form, and is copied to a backup key before it is "
                  "replaced. The first is "
                + firstProblem,
            path);
    }
    return std::nullopt;
}

// Makes the file's folder and the file itself the user's own, where every link leads, and settles a
// log beside it; the failure, if any.
std::optional<Attempt> prepareFile(const std::string& path, sqlite::LogBeside& logBeside)
{
    std::error_code error;
    fs::path file(path);
    // Wherever links lead: a folder of another user's would let its owner read the history or
    // swap the file.
    std::string problem;
    const fs::path real = whereLinksLead(file, error);
    if (!error && !PrivateFiles::isOwnFolder(real.parent_path(), problem)) {
        return failure(Outcome::Unavailable, SQLITE_PERM, "its folder cannot be used: " + problem);
    }
    if (file.has_parent_path()) {
        PrivateFiles::createFolders(file.parent_path(), error);
        if (error) {
            return failure(Outcome::Unavailable, SQLITE_CANTOPEN,
                "Unable to create the folder " + file.parent_path().string() + ": " + error.message());
        }
    }
    auto status = fs::status(file, error);
    if (!error && fs::exists(status) && !fs::is_regular_file(status)) {
        return failure(Outcome::Damaged, SQLITE_CANTOPEN, "The path is not a regular file.");
    }
    // The settings and the history are the user's own; SQLite gives its -wal, -shm and
    // -journal files the database file's mode. Made where a link leads, as SQLite would
    // otherwise make a file a link points at with the mode everyone may read.
    PrivateFiles::createFile(real.empty() ? file : real, error);
    logBeside = sqlite::settleLogBeside(real.empty() ? path : real.string());
    if (logBeside == sqlite::LogBeside::Held) {
        auto held = failure(Outcome::Unavailable, SQLITE_BUSY,
            "a write-ahead log another program has open lies beside it, which may be another file's");
        held.logBeside = true;
        return held;
    }
    return std::nullopt;
}

// SQLite's quick check of the whole file; the failure, if any. A damaged file found through a log
// that may be another file's is not called damaged.
std::optional<Attempt> checkWhole(sqlite3* db, sqlite::LogBeside logBeside)
{
    sqlite3_stmt* rawStatement = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(5)", -1, &rawStatement, nullptr);
    Statement check(rawStatement);
    if (rc != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to check the database");
    }
    std::string problems;
    while ((rc = sqlite3_step(check.get())) == SQLITE_ROW) {
        std::string row = columnText(check.get(), 0);
        if (row != "ok") {
            problems += problems.empty() ? row : "; " + row;
        }
    }
    if (rc != SQLITE_DONE) {
        return sqliteFailure(db, rc, "Unable to check the database");
    }
    if (!problems.empty()) {
        // Nothing is set aside on a check made through a log that may be another file's.
        return failure(logBeside == sqlite::LogBeside::Unclaimed ? Outcome::Unavailable : Outcome::Damaged,
            logBeside == sqlite::LogBeside::Unclaimed ? SQLITE_BUSY : SQLITE_CORRUPT,
            "The database failed its integrity check: " + problems);
    }
    return std::nullopt;
}

// The journal, durability and table of the store's file; the failure, if any.
std::optional<Attempt> setUp(sqlite3* db, const std::string& path)
{
    auto exec = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    // A rollback journal, which lies beside the file only while a transaction writes: another
    // file renamed over this one while the store has it open never meets a log of this one's
    // (SQLite pairs a -wal, -shm or -journal with whatever file has the name it lies beside), and
    // the file at rest is the one file. Kiruvo writes rarely, so write-ahead logging gains little.
    // A file another program holds in WAL mode stays so until the next opening.
    int rc = SQLITE_OK;
    if ((rc = exec("PRAGMA journal_mode=DELETE")) != SQLITE_OK) {
        if (isDamage(rc)) {
            return sqliteFailure(db, rc, "Unable to leave write-ahead logging");
        }
        logWarning("Unable to leave write-ahead logging for " + path
            + ", which another program uses: " + sqliteMessage(db, rc));
    }
    // The statement journal of a write is kept in memory: on disk it was a second copy of every
    // history written.
    if ((rc = exec("PRAGMA temp_store=MEMORY")) != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to keep temporary data in memory");
    }
    // Deleted content is zeroed only where the pages are written anyway: SQLite's build here zeroes
    // every freed page, which made a history's rewrite write three times what it changed.
    if ((rc = exec("PRAGMA secure_delete=FAST")) != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to set how deleted content is cleared");
    }
    if ((rc = exec("PRAGMA synchronous=FULL")) != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to make writes durable");
    }
    // A long history is more pages than SQLite's cache holds: spilled in the middle of its commit,
    // each spill synced the journal twice more. Its pages fit in memory, as the values do.
    if ((rc = exec("PRAGMA cache_spill=OFF")) != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to keep a write's pages in memory until it commits");
    }
    rc = exec(
        "CREATE TABLE IF NOT EXISTS defaults(suite TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, "
        "PRIMARY KEY(suite, key))");
    if (rc != SQLITE_OK) {
        return sqliteFailure(db, rc, "Unable to create the table");
    }
    return std::nullopt;
}

// Opens one file and reads every value, without writing to the file until it has passed its
// integrity check: a damaged file must reach the place it is moved to exactly as it was found.
} // namespace

DefaultsFileOpening DefaultsFileOpening::open(
    const std::string& path, int busyTimeoutMilliseconds, std::size_t deferredDecodeSize)
{
    auto logBeside = sqlite::LogBeside::None;
    if (path != memoryPath) {
        if (auto failed = prepareFile(path, logBeside)) {
            return std::move(*failed);
        }
    }

    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK) {
        return sqliteFailure(db.get(), rc, "Unable to open the database");
    }
    sqlite3_extended_result_codes(db.get(), 1);
    // Closing after a failed check must not fold a write-ahead log into the damaged file.
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_busy_timeout(db.get(), busyTimeoutMilliseconds);

    if (auto failed = checkWhole(db.get(), logBeside)) {
        return std::move(*failed);
    }

    if (auto foreign = checkShape(db.get())) {
        return std::move(*foreign);
    }

    if (auto failed = setUp(db.get(), path)) {
        return std::move(*failed);
    }

    if (const int removed = removeEarlierBookkeeping(db.get()); removed != SQLITE_OK) {
        logWarning("Unable to remove what an earlier Kiruvo added to " + path + ": "
            + sqliteMessage(db.get(), removed));
    }
    DefaultsFileOpening attempt;
    if (auto failed = readRows(db.get(), path, deferredDecodeSize, attempt)) {
        return std::move(*failed);
    }

    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    // The check and the read went through every page of the file, and SQLite keeps what it read
    // for later statements; every read is served from the values above, so those pages would only
    // sit in memory for the process's life.
    sqlite3_db_release_memory(db.get());
    attempt.outcome = Outcome::Opened;
    attempt.code = SQLITE_OK;
    attempt.db = std::move(db);
    return attempt;
}

DefaultsFileOpening DefaultsFileOpening::readWithoutLog(
    const std::string& path, std::size_t deferredDecodeSize)
{
    // The main file alone, whatever lies beside it; nothing is written, not even a lock taken.
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char* digits = "0123456789ABCDEF";
            uri += '%';
            uri += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
            uri += digits[static_cast<unsigned char>(c) & 0xF];
        } else {
            uri += c;
        }
    }
    uri += "?immutable=1";
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK) {
        return sqliteFailure(db.get(), rc, "Unable to open the database");
    }
    if (auto problem = checkShape(db.get())) {
        return std::move(*problem);
    }
    DefaultsFileOpening attempt;
    if (auto failed = readRows(db.get(), path, deferredDecodeSize, attempt)) {
        return std::move(*failed);
    }
    attempt.outcome = Outcome::Opened;
    attempt.code = SQLITE_OK;
    return attempt;
}

} // namespace platform
