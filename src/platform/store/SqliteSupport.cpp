#include "platform/store/SqliteSupport.h"

#include "platform/ErrorReporter.h"
#include "platform/Logger.h"

#include <sqlite3.h>

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
