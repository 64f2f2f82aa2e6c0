// The store's reading of one row of its file: a row's text either reads as the object it encodes
// or is kept as it is, and the write that replaces an unreadable row first copies every byte of it.
#include "FuzzFolder.h"
#include "FuzzTarget.h"

#include "platform/store/DefaultsDatabase.h"
#include "platform/store/PropertyListJson.h"

#include <sqlite3.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Folder::clear();
    const std::string path = (fuzz::Folder::work() / "defaults.sqlite3").string();
    const std::string text = fuzz::text(data, size);
    {
        auto database = platform::DefaultsDatabase::open(path);
        fuzz::require(database->path() == path, "a fresh database opens");
        fuzz::require(
            database->setValue("s", "other", platform::PropertyList(1)), "a fresh database is written");
    }
    {
        sqlite3* raw = nullptr;
        sqlite3_open(path.c_str(), &raw);
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(raw, "INSERT INTO defaults VALUES('s', 'k', ?1)", -1, &statement, nullptr);
        sqlite3_bind_text(statement, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        fuzz::require(sqlite3_step(statement) == SQLITE_DONE, "the row is written");
        sqlite3_finalize(statement);
        sqlite3_close(raw);
    }

    auto database = platform::DefaultsDatabase::open(path);
    fuzz::require(database->path() == path, "a file with any row text opens");
    const auto value = database->value("s", "k");
    const auto unreadable = database->unreadableText("s", "k");
    fuzz::require(!value != !unreadable, "a row is either read or kept as unreadable");
    if (value) {
        fuzz::require(platform::PropertyListJson::decode(text) == *value, "a read row is its text's object");
        return 0;
    }
    fuzz::require(*unreadable == text, "an unreadable row's text is kept exactly");
    fuzz::require(
        database->setValue("s", "k", platform::PropertyList(2)), "an unreadable row can be replaced");
    int copies = 0;
    for (const auto& [key, copy] : database->values("s")) {
        if (key.rfind("k.unreadable-", 0) != 0) {
            continue;
        }
        ++copies;
        const auto* asText = copy->getIf<std::string>();
        const auto* asBytes = copy->getIf<platform::Bytes>();
        fuzz::require(
            (asText && *asText == text) || (asBytes && *asBytes == platform::Bytes(text.begin(), text.end())),
            "the copy holds every byte of the unreadable text");
    }
    fuzz::require(copies == 1, "one copy is made");
    return 0;
}
