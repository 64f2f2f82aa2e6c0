#pragma once

#include "platform/store/SqliteSupport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The settings file once it is open: its connection and the statements the store runs on it,
// prepared once for the life of the connection. Statements wait for another process's lock at most
// the busy timeout given; what they return is SQLite's code.
//
// Not thread-safe: the store uses it under its write lock.
class DefaultsConnection {
public:
    enum class Checkpoint {
        // Copies what no reader of another process still uses; never waits for them.
        Passive,
        // Copies the whole log and empties it, waiting (up to the busy timeout) for readers.
        Truncate,
    };

    // Takes `db` (opened, its table made) over once the statements are prepared on it; null, with
    // `db` left as it was and `failure` set to the SQLite code, when they could not be.
    static std::unique_ptr<DefaultsConnection> take(
        sqlite::Connection& db, int busyTimeoutMilliseconds, int& failure);
    ~DefaultsConnection();
    DefaultsConnection(const DefaultsConnection&) = delete;
    DefaultsConnection& operator=(const DefaultsConnection&) = delete;

    // SQLite's text for `code`, with the connection's own detail when it says more.
    std::string message(int code) const;
    // The code of the connection's last failure.
    int lastFailure() const;
    int exec(const char* sql);

    // Stores `text` as the row of `key`, or removes the row when `text` is null; SQLITE_DONE when
    // done.
    int write(const std::string& suite, const std::string& key, const std::string* text);
    // The row's text as the file holds it, nothing when there is no row: SQLITE_DONE then. Another
    // code when the read failed (SQLITE_NOMEM for a text SQLite had no memory to hand over, which is
    // not an empty one).
    int read(const std::string& suite, const std::string& key, std::optional<std::string>& text);
    struct Row {
        std::string suite;
        std::string key;
        // Nothing for a row whose value was passed over.
        std::optional<std::string> text;
    };
    using RowTest = std::function<bool(const std::string& suite, const std::string& key)>;
    // Every row as the file holds it, in one statement; the value of a row `passOver` is true for
    // is never read (SQLite does not load it). SQLITE_DONE when done.
    int readAll(std::vector<Row>& rows, const RowTest& passOver);
    // Copies the row of `key`, as the file holds it and without decoding it, to `backup`;
    // SQLITE_DONE when done, with `copied` false when there was no row to copy.
    int copyRow(const std::string& suite, const std::string& key, const std::string& backup, bool& copied);

    // Whether another connection has committed to the file since the last call (or since this
    // connection was taken).
    bool changedElsewhere();
    // Where the file open really lies (every link followed, as SQLite resolved it).
    std::string fileName() const;
    // Whether the file open is no longer the one at fileName(): renamed over, or deleted. Asked of
    // the open descriptor itself, so that a rename between the opening and a look at the path
    // cannot pass for the file open.
    bool hasMoved() const;

    // Copies what the write-ahead log holds into the file itself.
    int checkpoint(Checkpoint mode);
    // Lets go of the pages read and written so far: reads are served from memory.
    void releaseMemory();
    // Closing will neither fold the write-ahead log into the file nor remove the -wal and -shm
    // files by their names, which may be another file's by then.
    void leaveCompanionNames();

private:
    explicit DefaultsConnection(sqlite3* db);
    int step(
        sqlite3_stmt* statement, const std::string& suite, const std::string& key, const std::string* text);

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_upsert = nullptr;
    sqlite3_stmt* m_delete = nullptr;
    sqlite3_stmt* m_select = nullptr;
    std::int64_t m_dataVersion = 0;
};

} // namespace platform
