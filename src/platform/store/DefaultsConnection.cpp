#include "platform/store/DefaultsConnection.h"

#include <sqlite3.h>

#include <utility>

namespace platform {

DefaultsConnection::DefaultsConnection(sqlite3* db)
    : m_db(db)
{
}

std::unique_ptr<DefaultsConnection> DefaultsConnection::take(
    sqlite::Connection& db, int busyTimeoutMilliseconds, int& failure)
{
    std::unique_ptr<DefaultsConnection> connection(new DefaultsConnection(db.get()));
    int rc = sqlite3_prepare_v3(db.get(),
        "INSERT INTO defaults(suite, key, value) VALUES(?1, ?2, ?3) "
        "ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value",
        -1, SQLITE_PREPARE_PERSISTENT, &connection->m_upsert, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_prepare_v3(db.get(), "DELETE FROM defaults WHERE suite = ?1 AND key = ?2", -1,
            SQLITE_PREPARE_PERSISTENT, &connection->m_delete, nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_prepare_v3(db.get(), "SELECT value FROM defaults WHERE suite = ?1 AND key = ?2", -1,
            SQLITE_PREPARE_PERSISTENT, &connection->m_select, nullptr);
    }
    if (rc != SQLITE_OK) {
        failure = rc;
        // The connection stays with the caller.
        connection->m_db = nullptr;
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), busyTimeoutMilliseconds);
    db.release();
    connection->changedElsewhere();
    return connection;
}

DefaultsConnection::~DefaultsConnection()
{
    sqlite3_finalize(m_upsert);
    sqlite3_finalize(m_delete);
    sqlite3_finalize(m_select);
    if (m_db) {
        sqlite3_close_v2(m_db);
    }
}

void DefaultsConnection::leaveCompanionNames()
{
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

std::string DefaultsConnection::message(int code) const
{
    return sqlite::message(m_db, code);
}

int DefaultsConnection::lastFailure() const
{
    return sqlite3_errcode(m_db);
}

int DefaultsConnection::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

int DefaultsConnection::step(
    sqlite3_stmt* statement, const std::string& suite, const std::string& key, const std::string* text)
{
    sqlite3_bind_text(statement, 1, suite.data(), static_cast<int>(suite.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (text) {
        sqlite3_bind_text(statement, 3, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
    }
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc;
}

int DefaultsConnection::write(const std::string& suite, const std::string& key, const std::string* text)
{
    return step(text ? m_upsert : m_delete, suite, key, text);
}

int DefaultsConnection::read(
    const std::string& suite, const std::string& key, std::optional<std::string>& text)
{
    sqlite3_bind_text(m_select, 1, suite.data(), static_cast<int>(suite.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_select, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    int rc = sqlite3_step(m_select);
    text.reset();
    if (rc == SQLITE_ROW) {
        if (!sqlite3_column_text(m_select, 0) && sqlite3_errcode(m_db) == SQLITE_NOMEM) {
            rc = SQLITE_NOMEM;
        } else {
            text = sqlite::columnText(m_select, 0);
            rc = SQLITE_DONE;
        }
    }
    sqlite3_reset(m_select);
    sqlite3_clear_bindings(m_select);
    return rc;
}

int DefaultsConnection::readAll(std::vector<Row>& rows, const RowTest& passOver)
{
    // The test runs inside the statement, so that a value passed over is never loaded: a long row
    // of another program's costs nothing to step past.
    const auto test = [](sqlite3_context* context, int, sqlite3_value** arguments) {
        const auto text = [](sqlite3_value* value) {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
            return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_value_bytes(value)))
                         : std::string();
        };
        const auto& passOver = *static_cast<const RowTest*>(sqlite3_user_data(context));
        sqlite3_result_int(context, passOver(text(arguments[0]), text(arguments[1])) ? 1 : 0);
    };
    constexpr const char* name = "kiruvo_pass_over";
    int rc = sqlite3_create_function_v2(m_db, name, 2, SQLITE_UTF8,
        const_cast<void*>(static_cast<const void*>(&passOver)), test, nullptr, nullptr, nullptr);
    sqlite3_stmt* raw = nullptr;
    if (rc == SQLITE_OK) {
        // Rare (only after another program's commit), so prepared when needed.
        rc = sqlite3_prepare_v2(m_db,
            "SELECT suite, key, CASE WHEN kiruvo_pass_over(suite, key) THEN NULL ELSE value END FROM "
            "defaults",
            -1, &raw, nullptr);
    }
    sqlite::Statement select(raw);
    rows.clear();
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(raw);
        if (rc == SQLITE_ROW) {
            Row& row = rows.emplace_back(Row { sqlite::columnText(raw, 0), sqlite::columnText(raw, 1), {} });
            if (sqlite3_column_type(raw, 2) != SQLITE_NULL) {
                row.text = sqlite::columnText(raw, 2);
            }
        }
    }
    select.reset();
    sqlite3_create_function_v2(m_db, name, 2, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr, nullptr);
    return rc;
}

int DefaultsConnection::copyRow(
    const std::string& suite, const std::string& key, const std::string& backup, bool& copied)
{
    // Rare (only after a failed read), so prepared when needed rather than kept for every write.
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db,
        "INSERT INTO defaults(suite, key, value) SELECT suite, ?3, value FROM defaults "
        "WHERE suite = ?1 AND key = ?2 ON CONFLICT(suite, key) DO UPDATE SET value = excluded.value",
        -1, &raw, nullptr);
    sqlite::Statement copy(raw);
    if (rc == SQLITE_OK) {
        rc = step(copy.get(), suite, key, &backup);
    }
    copied = rc == SQLITE_DONE && sqlite3_changes(m_db) > 0;
    return rc;
}

bool DefaultsConnection::changedElsewhere()
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &raw, nullptr) != SQLITE_OK) {
        return false;
    }
    sqlite::Statement statement(raw);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        return false;
    }
    const std::int64_t version = sqlite3_column_int64(raw, 0);
    return std::exchange(m_dataVersion, version) != version;
}

std::string DefaultsConnection::fileName() const
{
    const char* name = sqlite3_db_filename(m_db, "main");
    return name ? std::string(name) : std::string();
}

bool DefaultsConnection::hasMoved() const
{
    int moved = 0;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK) {
        return false;
    }
    return moved != 0;
}

int DefaultsConnection::checkpoint(Checkpoint mode)
{
    return sqlite3_wal_checkpoint_v2(m_db, nullptr,
        mode == Checkpoint::Truncate ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE, nullptr,
        nullptr);
}

void DefaultsConnection::releaseMemory()
{
    sqlite3_db_release_memory(m_db);
}

} // namespace platform
