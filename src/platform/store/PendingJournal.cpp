#include "platform/store/PendingJournal.h"

#include "platform/PrivateFiles.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/SqliteSupport.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <utility>

namespace fs = std::filesystem;

namespace platform {

using namespace sqlite;

namespace {

constexpr const char* tableSql
    = "CREATE TABLE IF NOT EXISTS pending(sequence INTEGER PRIMARY KEY, suite TEXT NOT NULL, "
      "key TEXT NOT NULL, value TEXT, blind INTEGER NOT NULL, based INTEGER NOT NULL DEFAULT 0, base TEXT)";

// The columns of the file's table, or nothing when it has none of that name.
std::optional<std::vector<std::string>> pendingColumns(sqlite3* db, int& rc)
{
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, "PRAGMA table_info(pending)", -1, &raw, nullptr);
    Statement info(raw);
    std::vector<std::string> names;
    while (rc == SQLITE_OK && (rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        names.push_back(columnText(info.get(), 1));
        rc = SQLITE_OK;
    }
    if (rc == SQLITE_DONE) {
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_OK || names.empty()) {
        return std::nullopt;
    }
    return names;
}

bool isText(sqlite3_stmt* statement, int column)
{
    return sqlite3_column_type(statement, column) == SQLITE_TEXT;
}

bool isFlag(sqlite3_stmt* statement, int column)
{
    if (sqlite3_column_type(statement, column) != SQLITE_INTEGER) {
        return false;
    }
    const auto value = sqlite3_column_int64(statement, column);
    return value == 0 || value == 1;
}

// A stored value's text, or nothing when the column holds anything else.
std::optional<std::string> valueText(sqlite3_stmt* statement, int column, bool& readable)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    // Asked before the text: reading a column as text converts it.
    const bool text = isText(statement, column);
    std::string content = columnText(statement, column);
    readable = readable && text && PropertyListJson::decode(content).has_value();
    return content;
}

// One row as a write; nothing when it is not one this store could have kept.
std::optional<PendingJournal::Write> writeOf(sqlite3_stmt* row, bool recordsBase)
{
    if (sqlite3_column_type(row, 0) != SQLITE_INTEGER || !isText(row, 1) || !isText(row, 2)
        || !isFlag(row, 4)) {
        return std::nullopt;
    }
    PendingJournal::Write write;
    write.sequence = sqlite3_column_int64(row, 0);
    write.suite = columnText(row, 1);
    write.key = columnText(row, 2);
    bool readable = true;
    write.text = valueText(row, 3, readable);
    const bool blind = sqlite3_column_int(row, 4) != 0;
    bool based = false;
    if (recordsBase) {
        if (!isFlag(row, 5)) {
            return std::nullopt;
        }
        based = sqlite3_column_int(row, 5) != 0;
        write.base = valueText(row, 6, readable);
    }
    if (!readable || (blind && based) || (!based && write.base)) {
        return std::nullopt;
    }
    write.basis = blind ? PendingJournal::Basis::Blind
        : based         ? PendingJournal::Basis::Known
                        : PendingJournal::Basis::Unrecorded;
    return write;
}

// What a file gave: every row that reads, and whether anything in it did not.
struct Scan {
    std::vector<PendingJournal::Write> rows;
    bool damaged = false;
    int busy = SQLITE_OK;
    std::string problem;
};

// Reads the rows from the first on, and after a failure from the last back, so that one damaged
// page costs only the rows on it.
void readRows(sqlite3* db, bool recordsBase, Scan& scan)
{
    const std::string columns = recordsBase ? "sequence, suite, key, value, blind, based, base"
                                            : "sequence, suite, key, value, blind";
    std::optional<std::int64_t> lastRead;
    for (const bool backwards : { false, true }) {
        std::string sql = "SELECT " + columns + " FROM pending";
        if (backwards) {
            sql += lastRead ? " WHERE sequence > " + std::to_string(*lastRead) : std::string();
            sql += " ORDER BY sequence DESC";
        } else {
            sql += " ORDER BY sequence";
        }
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
        Statement select(raw);
        while (rc == SQLITE_OK && (rc = sqlite3_step(select.get())) == SQLITE_ROW) {
            rc = SQLITE_OK;
            if (!backwards && sqlite3_column_type(select.get(), 0) == SQLITE_INTEGER) {
                lastRead = sqlite3_column_int64(select.get(), 0);
            }
            if (auto write = writeOf(select.get(), recordsBase)) {
                scan.rows.push_back(std::move(*write));
            } else {
                scan.damaged = true;
                scan.problem = "a row does not hold a kept write";
            }
        }
        if (rc == SQLITE_DONE) {
            return;
        }
        if (isBusy(rc)) {
            scan.busy = rc;
            return;
        }
        scan.damaged = true;
        scan.problem = message(db, rc);
    }
}

Scan scanFile(sqlite3* db)
{
    Scan scan;
    int rc = SQLITE_OK;
    const auto columns = pendingColumns(db, rc);
    if (isBusy(rc)) {
        scan.busy = rc;
        return scan;
    }
    if (!columns) {
        // An empty file is what a crash during its creation leaves; anything else is not ours.
        sqlite3_stmt* raw = nullptr;
        int counted = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema", -1, &raw, nullptr);
        Statement count(raw);
        if (counted == SQLITE_OK && (counted = sqlite3_step(count.get())) == SQLITE_ROW
            && sqlite3_column_int(count.get(), 0) == 0) {
            return scan;
        }
        scan.busy = isBusy(counted) ? counted : SQLITE_OK;
        scan.damaged = !scan.busy;
        scan.problem = rc != SQLITE_OK ? message(db, rc) : "it holds no table of kept writes";
        return scan;
    }
    const auto has = [&](const char* name) {
        return std::find(columns->begin(), columns->end(), name) != columns->end();
    };
    for (const char* name : { "sequence", "suite", "key", "value", "blind" }) {
        if (!has(name)) {
            scan.damaged = true;
            scan.problem = std::string("its table lacks the column ") + name;
            return scan;
        }
    }
    readRows(db, has("based") && has("base"), scan);
    if (!scan.damaged && !scan.busy) {
        // Damage where no row lives yet would meet the next write.
        sqlite3_stmt* raw = nullptr;
        rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &raw, nullptr);
        Statement check(raw);
        if (rc == SQLITE_OK && (rc = sqlite3_step(check.get())) == SQLITE_ROW) {
            if (columnText(check.get(), 0) != "ok") {
                scan.damaged = true;
                scan.problem = columnText(check.get(), 0);
            }
        } else if (isBusy(rc)) {
            scan.busy = rc;
        } else if (rc != SQLITE_DONE) {
            scan.damaged = true;
            scan.problem = message(db, rc);
        }
    }
    return scan;
}

// Each key's latest write, with the basis of its first, in the order of their latest writes.
std::vector<PendingJournal::Write> collapse(std::vector<PendingJournal::Write> rows)
{
    // The rows read backwards after a damaged page come last; a file of another make may give two
    // rows one sequence number, which keep the order they were read in.
    std::stable_sort(
        rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
    std::map<std::pair<std::string, std::string>, PendingJournal::Write> latest;
    for (auto& row : rows) {
        auto [it, inserted] = latest.try_emplace({ row.suite, row.key }, row);
        if (!inserted) {
            it->second.sequence = row.sequence;
            it->second.text = std::move(row.text);
        }
    }
    std::vector<PendingJournal::Write> writes;
    writes.reserve(latest.size());
    for (auto& [name, write] : latest) {
        writes.push_back(std::move(write));
    }
    std::stable_sort(
        writes.begin(), writes.end(), [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
    return writes;
}

// Not called bind: where <functional> is seen, an unqualified bind(statement, 1, aString) is
// std::bind (an exact match, where this one needs a conversion), which builds a call and binds nothing.
void bindText(sqlite3_stmt* statement, int index, const std::optional<std::string>& text)
{
    if (text) {
        sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

} // namespace

PendingJournal::PendingJournal(std::string path, int busyTimeoutMilliseconds)
    : m_path(std::move(path))
    , m_busyTimeout(busyTimeoutMilliseconds)
{
}

PendingJournal::~PendingJournal()
{
    sqlite3_close_v2(m_db);
}

const PendingJournal::Write* PendingJournal::find(const std::string& suite, const std::string& key) const
{
    const auto it = std::find_if(m_writes.begin(), m_writes.end(),
        [&](const Write& write) { return write.key == key && write.suite == suite; });
    return it == m_writes.end() ? nullptr : &*it;
}

bool PendingJournal::load()
{
    std::error_code error;
    if (m_db || fs::symlink_status(m_path, error).type() == fs::file_type::not_found) {
        return true;
    }
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(m_path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
    Connection db(raw);
    Scan scan;
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db.get(), 1);
        sqlite3_busy_timeout(db.get(), m_busyTimeout);
        scan = scanFile(db.get());
    } else if (isBusy(rc)) {
        scan.busy = rc;
    } else {
        scan.damaged = true;
        scan.problem = message(db.get(), rc);
    }
    if (scan.busy) {
        reportFailure(scan.busy,
            "Writes kept while the settings database was held could not be read: "
                + message(db.get(), scan.busy),
            m_path);
        return false;
    }
    m_writes = collapse(std::move(scan.rows));
    // Reopened for the next write, which brings a file of an earlier build up to date first.
    db.reset();
    if (!scan.damaged && m_writes.empty()) {
        // What an end between the emptying of the file and its removal leaves, or one during its
        // making: nothing waits in it, and nothing else would ever remove it.
        std::error_code removeError;
        fs::remove(m_path, removeError);
        return true;
    }
    if (scan.damaged) {
        std::string moveError;
        if (auto target = moveAside(m_path, moveError)) {
            m_setAsidePath = *target;
            reportFailure(SQLITE_CORRUPT,
                "The file of pending writes " + m_path + " was damaged (" + scan.problem
                    + "); it was moved to " + *target + ", and the " + std::to_string(m_writes.size())
                    + " write(s) that still read from it are kept.",
                m_path);
        } else {
            reportFailure(SQLITE_CORRUPT,
                "The file of pending writes " + m_path + " was damaged (" + scan.problem
                    + ") and could not be moved aside: " + moveError,
                m_path);
        }
        // Kept in a sound file again, so that a crash before the replay loses none of them.
        std::vector<Write*> rows;
        for (auto& write : m_writes) {
            rows.push_back(&write);
        }
        std::string failure;
        if (!rows.empty() && (!openForWriting(failure) || !commit(rows, nullptr, failure))) {
            logWarning("The writes read from " + m_setAsidePath + " are only in memory: " + failure);
        }
    }
    if (!m_writes.empty()) {
        logInfo(std::to_string(m_writes.size()) + " write(s) kept in " + m_path
            + " are to be put into the settings database.");
    }
    return true;
}

bool PendingJournal::openForWriting(std::string& failure)
{
    if (m_db) {
        return true;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The writes kept here are the user's own, as the database's are.
        std::error_code ignored;
        PrivateFiles::createFile(m_path, ignored);
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(m_path.c_str(), &raw,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
        Connection db(raw);
        if (rc == SQLITE_OK) {
            sqlite3_extended_result_codes(db.get(), 1);
            sqlite3_busy_timeout(db.get(), m_busyTimeout);
            rc = sqlite3_exec(db.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db.get(), tableSql, nullptr, nullptr, nullptr);
        }
        // A file an earlier build made lacks the base of each write.
        std::optional<std::vector<std::string>> columns;
        if (rc == SQLITE_OK) {
            columns = pendingColumns(db.get(), rc);
        }
        if (rc == SQLITE_OK && columns
            && std::find(columns->begin(), columns->end(), "based") == columns->end()) {
            rc = sqlite3_exec(db.get(),
                "ALTER TABLE pending ADD COLUMN based INTEGER NOT NULL DEFAULT 0; "
                "ALTER TABLE pending ADD COLUMN base TEXT",
                nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) {
            m_db = db.release();
            return true;
        }
        failure = "the file of pending writes " + m_path + " could not be opened: " + message(db.get(), rc);
        if (!isDamage(rc) || attempt > 0) {
            return false;
        }
        // Not ours to keep writing into: moved aside, and what is kept is written anew.
        db.reset();
        std::string moveError;
        auto target = moveAside(m_path, moveError);
        if (!target) {
            return false;
        }
        m_setAsidePath = *target;
        reportFailure(
            rc, "The file of pending writes " + m_path + " was damaged; it was moved to " + *target, m_path);
        std::vector<Write*> rows;
        for (auto& write : m_writes) {
            rows.push_back(&write);
        }
        std::string rewriteFailure;
        if (openForWriting(rewriteFailure)) {
            if (!rows.empty() && !commit(rows, nullptr, rewriteFailure)) {
                logWarning(
                    "The writes kept in memory could not be kept in " + m_path + ": " + rewriteFailure);
            }
            return true;
        }
    }
    return false;
}

bool PendingJournal::commit(const std::vector<Write*>& rows, const Write* replacing, std::string& failure)
{
    auto exec = [this](const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); };
    int rc = exec("BEGIN IMMEDIATE");
    if (rc == SQLITE_OK && replacing) {
        sqlite3_stmt* raw = nullptr;
        rc = sqlite3_prepare_v2(m_db, "DELETE FROM pending WHERE suite = ?1 AND key = ?2", -1, &raw, nullptr);
        Statement remove(raw);
        if (rc == SQLITE_OK) {
            bindText(remove.get(), 1, replacing->suite);
            bindText(remove.get(), 2, replacing->key);
            rc = sqlite3_step(remove.get()) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(m_db);
        }
    }
    std::vector<std::int64_t> sequences;
    if (rc == SQLITE_OK) {
        sqlite3_stmt* raw = nullptr;
        rc = sqlite3_prepare_v2(m_db,
            "INSERT INTO pending(suite, key, value, blind, based, base) VALUES(?1, ?2, ?3, ?4, ?5, ?6)", -1,
            &raw, nullptr);
        Statement insert(raw);
        for (const Write* write : rows) {
            if (rc != SQLITE_OK) {
                break;
            }
            bindText(insert.get(), 1, write->suite);
            bindText(insert.get(), 2, write->key);
            bindText(insert.get(), 3, write->text);
            sqlite3_bind_int(insert.get(), 4, write->basis == Basis::Blind ? 1 : 0);
            sqlite3_bind_int(insert.get(), 5, write->basis == Basis::Known ? 1 : 0);
            bindText(insert.get(), 6, write->basis == Basis::Known ? write->base : std::nullopt);
            rc = sqlite3_step(insert.get()) == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(m_db);
            sequences.push_back(sqlite3_last_insert_rowid(m_db));
            sqlite3_reset(insert.get());
            sqlite3_clear_bindings(insert.get());
        }
    }
    if (rc == SQLITE_OK) {
        rc = exec("COMMIT");
    }
    if (rc != SQLITE_OK) {
        failure = "it could not be kept for later either: " + message(m_db, rc);
        exec("ROLLBACK");
        return false;
    }
    for (std::size_t index = 0; index < rows.size(); ++index) {
        rows[index]->sequence = sequences[index];
    }
    return true;
}

bool PendingJournal::keep(Write write, std::string& failure)
{
    const Write* earlier = find(write.suite, write.key);
    if (earlier) {
        write.basis = earlier->basis;
        write.base = earlier->basis == Basis::Known ? earlier->base : std::nullopt;
    }
    if (!openForWriting(failure) || !commit({ &write }, &write, failure)) {
        return false;
    }
    if (earlier) {
        m_writes.erase(m_writes.begin() + (earlier - m_writes.data()));
    }
    m_writes.push_back(std::move(write));
    return true;
}

void PendingJournal::forget()
{
    m_writes.clear();
    if (m_db) {
        if (const int rc = sqlite3_exec(m_db, "DELETE FROM pending", nullptr, nullptr, nullptr);
            rc != SQLITE_OK) {
            logWarning("Unable to empty " + m_path + ": " + message(m_db, rc));
        }
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    std::error_code error;
    fs::remove(m_path, error);
}

} // namespace platform
