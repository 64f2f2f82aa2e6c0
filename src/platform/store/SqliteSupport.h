#pragma once

#include "platform/SourceLocation.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::sqlite {

// What the settings store and its file of pending writes share about SQLite files.

struct Closer {
    void operator()(sqlite3* db) const;
};
using Connection = std::unique_ptr<sqlite3, Closer>;

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

// Another connection holds the file.
bool isBusy(int code);
// The file is not a database, or not a sound one.
bool isDamage(int code);
// SQLite's text for `code`, with the connection's own detail when it says more.
std::string message(sqlite3* db, int code);
// The column's text as stored, NUL bytes included; empty for NULL.
std::string columnText(sqlite3_stmt* statement, int column);

// Hands a failure of the store to the log and to the error reporter.
void reportFailure(std::int64_t code, const std::string& message, const std::string& path,
    SourceLocation where = SourceLocation::current());
void logWarning(const std::string& message);
void logInfo(const std::string& message);

// A write-ahead log beside a settings file (`realPath`, every link followed) may be another file's:
// SQLite pairs a -wal and -shm with whatever file bears the name they lie beside, and a program
// whose file was renamed over leaves its log there. What lies beside it:
enum class LogBeside {
    None,
    // A log nobody has open beside a file whose header says it keeps a rollback journal, which a
    // file with a log of its own never does: moved aside as "<name>-wal.left-<UTC time>" (and -shm),
    // so nothing is lost and nothing pairs it with the file.
    SetAside,
    // A log nobody has open beside a file in WAL mode: what its writer left when it ended, which
    // SQLite takes up as that file's.
    Unclaimed,
    // A log a program has open, or one that could not be moved: it may be another file's.
    Held,
};
LogBeside settleLogBeside(const std::string& realPath);

// Moves the file (and its -wal, -shm and -journal companions, which belong to it) to an unused
// "<name>.corrupt-<UTC time>". Nothing, with `error` set, when it cannot be moved.
std::optional<std::string> moveAside(const std::string& path, std::string& error);

} // namespace platform::sqlite
