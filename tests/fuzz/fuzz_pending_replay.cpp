// The replay of the pending file, whatever bytes it holds, over whatever rows the settings file
// holds: no crash; every write that still reads from a sound file is put in (or left out only for a
// stored value someone else wrote since); every stored row survives, where it was or in a copy, or
// is replaced by a write made over it; and replaying the same file again changes nothing.
//
// Input: stored rows as "key=text" lines, then "\n==\n", then the pending file's bytes (all of the
// input when there is no such line).
#include "FuzzFolder.h"
#include "FuzzTarget.h"

#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

using Rows = std::map<std::string, std::string>;

struct KeptWrite {
    std::optional<std::string> text;
    bool blind = false;
    bool based = false;
    std::optional<std::string> base;
};

bool reads(const std::optional<std::string>& text)
{
    return !text || platform::PropertyListJson::decode(*text).has_value();
}

bool sameValue(const std::optional<std::string>& a, const std::optional<std::string>& b)
{
    if (!a || !b) {
        return !a && !b;
    }
    if (*a == *b) {
        return true;
    }
    auto left = platform::PropertyListJson::decode(*a);
    auto right = platform::PropertyListJson::decode(*b);
    return left && right && *left == *right;
}

std::optional<std::string> textColumn(sqlite3_stmt* statement, int column, bool& isText)
{
    const int type = sqlite3_column_type(statement, column);
    isText = type == SQLITE_TEXT;
    if (type == SQLITE_NULL) {
        return std::nullopt;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// Every row of suite "s", by key.
Rows storedRows(const std::string& path)
{
    Rows rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT key, value FROM defaults WHERE suite = 's'", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        bool text = false;
        rows[*textColumn(statement, 0, text)] = textColumn(statement, 1, text).value_or("");
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

// The writes a sound pending file holds for suite "s", each key's last one over its first one's
// basis; nothing when the file does not read whole.
std::optional<std::map<std::string, KeptWrite>> keptWrites(const std::string& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return std::nullopt;
    }
    std::map<std::string, KeptWrite> writes;
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db,
        "SELECT suite, key, value, blind, based, base, sequence FROM pending ORDER BY sequence", -1,
        &statement, nullptr);
    if (rc != SQLITE_OK) {
        // A file of a build that kept no bases.
        rc = sqlite3_prepare_v2(db,
            "SELECT suite, key, value, blind, 0, NULL, sequence FROM pending ORDER BY sequence", -1,
            &statement, nullptr);
    }
    bool sound = rc == SQLITE_OK;
    while (sound && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
        bool suiteText = false;
        bool keyText = false;
        bool valueText = false;
        bool baseText = false;
        const auto suite = textColumn(statement, 0, suiteText);
        const auto key = textColumn(statement, 1, keyText);
        const auto value = textColumn(statement, 2, valueText);
        const auto base = textColumn(statement, 5, baseText);
        const bool flags = sqlite3_column_type(statement, 6) == SQLITE_INTEGER
            && sqlite3_column_type(statement, 3) == SQLITE_INTEGER
            && sqlite3_column_type(statement, 4) == SQLITE_INTEGER;
        const auto blind = sqlite3_column_int64(statement, 3);
        const auto based = sqlite3_column_int64(statement, 4);
        const bool valid = suiteText && keyText && (!value || valueText) && (!base || baseText) && flags
            && (blind == 0 || blind == 1) && (based == 0 || based == 1) && !(blind && based)
            && (based || !base) && reads(value) && reads(base);
        // A row that is no write sets the whole file aside; its sound rows are still checked.
        if (!valid || *suite != "s") {
            continue;
        }
        auto [it, first] = writes.try_emplace(*key, KeptWrite { value, blind == 1, based == 1, base });
        if (!first) {
            it->second.text = value;
        }
    }
    sound = sound && rc == SQLITE_DONE;
    sqlite3_finalize(statement);
    if (sound) {
        rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &statement, nullptr);
        sound = rc == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW
            && std::string(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))) == "ok";
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return sound ? std::optional(writes) : std::nullopt;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Whether a copy of `text` was kept under a backup key of `key`.
bool copiedAside(const Rows& after, const std::string& key, const std::string& text)
{
    for (auto it = after.lower_bound(key + ".unreadable-");
         it != after.end() && it->first.rfind(key + ".unreadable-", 0) == 0; ++it) {
        const auto copy = platform::PropertyListJson::decode(it->second);
        const auto* asText = copy ? copy->getIf<std::string>() : nullptr;
        const auto* asBytes = copy ? copy->getIf<platform::Bytes>() : nullptr;
        if (sameValue(it->second, text) || (asText && *asText == text)
            || (asBytes && *asBytes == platform::Bytes(text.begin(), text.end()))) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Folder::clear();
    const std::string path = (fuzz::Folder::work() / "defaults.sqlite3").string();
    const std::string pendingPath = path + ".pending";
    const std::string input = fuzz::text(data, size);
    const auto separator = input.find("\n==\n");
    const std::string storedPart
        = separator == std::string::npos ? std::string() : input.substr(0, separator);
    const std::string pendingBytes = separator == std::string::npos ? input : input.substr(separator + 4);

    Rows before;
    for (std::size_t start = 0; start < storedPart.size();) {
        auto end = storedPart.find('\n', start);
        end = end == std::string::npos ? storedPart.size() : end;
        const std::string line = storedPart.substr(start, end - start);
        if (const auto equals = line.find('='); equals != std::string::npos && equals > 0) {
            before[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    {
        auto database = platform::DefaultsDatabase::open(path);
        fuzz::require(database->path() == path, "a fresh database opens");
    }
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO defaults VALUES('s', ?1, ?2)", -1, &insert, nullptr);
        for (const auto& [key, text] : before) {
            sqlite3_bind_text(insert, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
            fuzz::require(sqlite3_step(insert) == SQLITE_DONE, "a stored row is written");
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }
    const std::string oraclePath = (fuzz::Folder::work() / "oracle.sqlite3").string();
    writeFile(oraclePath, pendingBytes);
    const auto writes = keptWrites(oraclePath);

    writeFile(pendingPath, pendingBytes);
    {
        auto database = platform::DefaultsDatabase::open(path);
        fuzz::require(database->path() == path, "the settings file opens whatever the pending file holds");
        fuzz::require(!database->hasPendingWrites(), "a free file takes every kept write at the opening");
    }
    const Rows after = storedRows(path);

    // What a damaged file held is not known here: its writes may have replaced any row.
    for (const auto& [key, text] : writes ? before : Rows()) {
        const auto written = writes->find(key);
        const bool replaced = written != writes->end()
            && (!written->second.blind && (!written->second.based || sameValue(text, written->second.base)));
        const auto now = after.find(key);
        fuzz::require(
            (now != after.end() && sameValue(now->second, text)) || copiedAside(after, key, text) || replaced,
            "a stored row stays, is copied aside, or is replaced by a write made over it");
    }
    if (writes) {
        for (const auto& [key, write] : *writes) {
            const auto now = after.find(key);
            const std::optional<std::string> current
                = now == after.end() ? std::nullopt : std::optional(now->second);
            const auto stored = before.find(key);
            const std::optional<std::string> previous
                = stored == before.end() ? std::nullopt : std::optional(stored->second);
            const bool othersNewer = write.based && !sameValue(previous, write.base) && reads(previous);
            fuzz::require(sameValue(current, write.text) || (othersNewer && current == previous),
                "a readable kept write is put in, unless another program's value is newer");
        }
    }

    // A crash between the commit and the removal of the pending file replays it again.
    writeFile(pendingPath, pendingBytes);
    {
        auto database = platform::DefaultsDatabase::open(path);
        fuzz::require(!database->hasPendingWrites(), "the second replay goes through");
    }
    fuzz::require(storedRows(path) == after, "replaying the same writes again changes nothing");
    return 0;
}
