#include "platform/store/SqliteSupport.h"

#include "platform/ErrorReporter.h"
#include "platform/Logger.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

namespace platform::sqlite {

namespace {

std::string timestamp()
{
    std::time_t now = std::time(nullptr);
    std::tm parts {};
    gmtime_r(&now, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%dT%H%M%SZ", &parts);
    return buffer;
}

} // namespace

void Closer::operator()(sqlite3* db) const
{
    sqlite3_close_v2(db);
}

void Finalizer::operator()(sqlite3_stmt* statement) const
{
    sqlite3_finalize(statement);
}

bool isBusy(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool isDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::string message(sqlite3* db, int code)
{
    std::string text = sqlite3_errstr(code);
    if (db) {
        const char* detail = sqlite3_errmsg(db);
        if (detail && text != detail) {
            text += " (";
            text += detail;
            text += ')';
        }
    }
    return text;
}

std::string columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                : std::string();
}

void reportFailure(
    std::int64_t code, const std::string& message, const std::string& path, SourceLocation where)
{
    log(LogLevel::Error, lcStore(), message);
    ErrorEvent event;
    event.domain = "DefaultsDatabase";
    event.code = code;
    event.message = message;
    event.userInfo["path"] = path;
    event.file = where.file_name();
    event.line = static_cast<int>(where.line());
    ErrorReporter::shared().capture(event);
}

void logWarning(const std::string& message)
{
    log(LogLevel::Warning, lcStore(), message);
}

void logInfo(const std::string& message)
{
    log(LogLevel::Info, lcStore(), message);
}

namespace {

// Whether a program holds a lock on any byte of `path`: every connection of SQLite's to a file in
// WAL mode holds one on its -shm for as long as it is open.
bool isLocked(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno != ENOENT;
    }
    struct flock lock { };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool locked = ::fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

// Whether the header of the database at `path` says it keeps a rollback journal (or it has none).
bool keepsRollbackJournal(const std::string& path)
{
    unsigned char header[20] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const auto got = fd < 0 ? -1 : ::read(fd, header, sizeof header);
    if (fd >= 0) {
        ::close(fd);
    }
    return got < static_cast<ssize_t>(sizeof header) || (header[18] == 1 && header[19] == 1);
}

} // namespace

LogBeside settleLogBeside(const std::string& realPath)
{
    std::error_code code;
    const std::string wal = realPath + "-wal";
    const std::string shm = realPath + "-shm";
    const bool hasWal = fs::symlink_status(wal, code).type() != fs::file_type::not_found;
    const bool hasShm = fs::symlink_status(shm, code).type() != fs::file_type::not_found;
    if (!hasWal && !hasShm) {
        return LogBeside::None;
    }
    if (hasShm && isLocked(shm)) {
        return LogBeside::Held;
    }
    if (!keepsRollbackJournal(realPath)) {
        return LogBeside::Unclaimed;
    }
    const std::string suffix = ".left-" + timestamp();
    for (const auto& companion : { wal, shm }) {
        if (fs::symlink_status(companion, code).type() != fs::file_type::not_found) {
            fs::rename(companion, companion + suffix, code);
            if (code) {
                logWarning("Unable to move " + companion + " aside: " + code.message());
                return LogBeside::Held;
            }
        }
    }
    logWarning("A write-ahead log nobody had open lay beside " + realPath
        + ", which keeps a rollback journal: it is another file's, and was moved to " + wal + suffix + ".");
    return LogBeside::SetAside;
}

std::optional<std::string> moveAside(const std::string& path, std::string& error)
{
    std::string base = path + ".corrupt-" + timestamp();
    std::string target = base;
    std::error_code code;
    for (int n = 1; fs::symlink_status(target, code).type() != fs::file_type::not_found; ++n) {
        target = base + "-" + std::to_string(n);
    }
    fs::rename(path, target, code);
    if (code) {
        error = code.message();
        return std::nullopt;
    }
    for (const char* suffix : { "-wal", "-shm", "-journal" }) {
        std::string companion = path + suffix;
        if (fs::symlink_status(companion, code).type() != fs::file_type::not_found) {
            fs::rename(companion, target + suffix, code);
            if (code) {
                logWarning("Unable to move " + companion + " aside: " + code.message());
            }
        }
    }
    return target;
}

} // namespace platform::sqlite
