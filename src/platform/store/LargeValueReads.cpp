#include "platform/store/LargeValueReads.h"

#include "platform/store/DefaultsConnection.h"
#include "platform/store/PropertyListJson.h"
#include "platform/store/ResidentValues.h"
#include "platform/store/SqliteSupport.h"

#include <sqlite3.h>

namespace platform {

using sqlite::reportFailure;

LargeValueReads::LargeValueReads(ResidentValues& values, const std::string& path)
    : m_values(values)
    , m_path(path)
{
}

LargeValueReads::Reread LargeValueReads::read(
    DefaultsConnection* file, const std::string& suite, const std::string& key) const
{
    if (!file) {
        return {};
    }
    std::optional<std::string> text;
    const int rc = file->read(suite, key, text);
    file->releaseMemory();
    if (rc != SQLITE_DONE) {
        return { nullptr, rc };
    }
    if (!text) {
        reportFailure(SQLITE_NOTFOUND,
            "The value for \"" + key + "\" of suite \"" + suite + "\" could not be read again from " + m_path
                + ": another program removed it",
            m_path);
        return {};
    }
    std::string error;
    auto decoded = PropertyListJson::decode(*text, &error);
    if (!decoded) {
        // Another program wrote what does not read: kept, as a row found so at open would be.
        reportFailure(SQLITE_FORMAT,
            "The stored value of \"" + key + "\" of suite \"" + suite + "\" in " + m_path
                + m_values.unreadableReport(suite, key, error, true),
            m_path);
        m_values.keepUnreadable(suite, key, std::move(*text));
        return {};
    }
    return { std::make_shared<const PropertyList>(std::move(*decoded)), SQLITE_OK };
}

void LargeValueReads::markUnread(
    DefaultsConnection* file, const std::string& suite, const std::string& key, int failure) const
{
    if (!m_values.markUnread(suite, key)) {
        return;
    }
    reportFailure(failure,
        "The value for \"" + key + "\" of suite \"" + suite + "\" could not be read again from " + m_path
            + ": " + (file ? file->message(failure) : sqlite::message(nullptr, failure))
            + "; it reads as unset until it can be read, and its stored row is copied to a backup key "
              "before it is replaced.",
        m_path);
}

StoredValue LargeValueReads::lend(
    DefaultsConnection* file, const std::string& suite, const std::string& key) const
{
    if (auto lent = m_values.lend(suite, key, file != nullptr); lent.done) {
        return lent.value;
    }
    if (!file) {
        return nullptr;
    }
    Reread reread = read(file, suite, key);
    if (reread.failure != SQLITE_OK) {
        // Still stored: known as such, and read again when next asked for.
        markUnread(file, suite, key, reread.failure);
        return nullptr;
    }
    m_values.tookRead(suite, key, reread.value);
    return reread.value;
}

void LargeValueReads::holdAll(DefaultsConnection* file) const
{
    // Reads go on from memory once the file is closed, large values included.
    for (const auto& [suite, key] : m_values.holdLargeValues()) {
        // No write reaches this file after it, so a value that cannot be read now can replace
        // nothing.
        Reread reread = read(file, suite, key);
        if (reread.failure != SQLITE_OK) {
            markUnread(file, suite, key, reread.failure);
        }
        m_values.holdRead(suite, key, std::move(reread.value));
    }
}

} // namespace platform
