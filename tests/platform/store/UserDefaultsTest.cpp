#include "platform/store/UserDefaults.h"

#include "platform/ErrorReporter.h"
#include "platform/store/DefaultsDatabase.h"
#include "support/SqliteToolLock.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <thread>

using namespace platform;

namespace {

using Change = std::tuple<std::string, std::optional<PropertyList>, std::optional<PropertyList>>;

std::optional<std::string> storedText(
    const std::string& path, const std::string& suite, const std::string& key)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::optional<std::string> result;
    if (sqlite3_prepare_v2(
            db, "SELECT value FROM defaults WHERE suite = ?1 AND key = ?2", -1, &statement, nullptr)
        == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, suite.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_reporter = std::make_unique<ErrorReporter>(m_folder.path().toStdString() + "/reports");
        ErrorReporter::setShared(m_reporter.get());
    }
    void TearDown() override
    {
        UserDefaults::setStandard(nullptr);
        ErrorReporter::setShared(nullptr);
    }

    std::string file() const { return m_folder.path().toStdString() + "/defaults.sqlite3"; }
    std::shared_ptr<UserDefaults> openSuite(const std::string& name = "test") const
    {
        return std::make_shared<UserDefaults>(DefaultsDatabase::open(file()), name);
    }

    QTemporaryDir m_folder;
    std::unique_ptr<ErrorReporter> m_reporter;
};

} // namespace

TEST_F(UserDefaultsTest, EveryKindSurvivesAReopenWithItsStoredText)
{
    const std::vector<std::tuple<std::string, PropertyList, std::string>> cases = {
        { "bool", true, "true" },
        { "int", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808" },
        { "real", 600.0, "600.0" },
        { "negativeZero", -0.0, "-0.0" },
        { "huge", 1e300, "1e+300" },
        { "string", "\"[1]\" / ü", "\"\\\"[1]\\\" \\/ ü\"" },
        { "date", Date(-0.5), "{\"date\":-0.5}" },
        { "data", Bytes { 'K', 'i' }, "{\"data\":\"S2k=\"}" },
        { "array", PropertyListArray { PropertyListArray {}, 2.0 }, "[[],2.0]" },
        { "dict", PropertyListDictionary { { "n", 1 }, { "r", 1.0 } }, "{\"dict\":{\"n\":1,\"r\":1.0}}" },
    };
    {
        auto defaults = openSuite();
        for (const auto& [key, value, text] : cases) {
            defaults->setObject(value, key);
            EXPECT_EQ(storedText(file(), "test", key), text) << key;
        }
    }
    auto defaults = openSuite();
    for (const auto& [key, value, text] : cases) {
        auto read = defaults->objectForKey(key);
        ASSERT_TRUE(read) << key;
        EXPECT_EQ(read->value().index(), value.value().index()) << key;
        EXPECT_EQ(*read, value) << key;
    }
    EXPECT_TRUE(std::signbit(*defaults->objectForKey("negativeZero")->getIf<double>()));
}

TEST_F(UserDefaultsTest, TheRegistrationDomainIsReadButNeverStored)
{
    {
        auto defaults = openSuite();
        defaults->registerDefaults({ { "interval", 600 }, { "name", "default" } });
        defaults->registerDefaults({ { "interval", 900 } });
        EXPECT_EQ(defaults->objectForKey("interval"), PropertyList(900));
        defaults->setObject(PropertyList("stored"), "name");
        EXPECT_EQ(defaults->objectForKey("name"), PropertyList("stored"));
        EXPECT_EQ(defaults->dictionaryRepresentation(),
            (PropertyListDictionary { { "interval", 900 }, { "name", "stored" } }));
        defaults->setObject(std::nullopt, "name");
        EXPECT_EQ(defaults->objectForKey("name"), PropertyList("default"));
        EXPECT_FALSE(defaults->objectForKey("missing"));
    }
    EXPECT_FALSE(storedText(file(), "test", "interval"));
    auto reopened = openSuite();
    EXPECT_FALSE(reopened->objectForKey("interval"));
    EXPECT_TRUE(reopened->dictionaryRepresentation().empty());
}

TEST_F(UserDefaultsTest, SuitesAreSeparateAndObjectsOfOneSuiteShareIt)
{
    auto database = DefaultsDatabase::open(":memory:");
    UserDefaults first(database, "app"), second(database, "app"), other(database, "other");
    first.registerDefaults({ { "k", "first's default" } });

    std::vector<Change> heard;
    second.addObserver(
        "k", [&](auto& key, auto& oldValue, auto& newValue) { heard.emplace_back(key, oldValue, newValue); });
    first.setObject(PropertyList(1), "k");
    other.setObject(PropertyList(2), "k");
    EXPECT_EQ(second.objectForKey("k"), PropertyList(1));
    EXPECT_EQ(other.objectForKey("k"), PropertyList(2));
    first.removeObject("k");
    EXPECT_EQ(first.objectForKey("k"), PropertyList("first's default"));
    EXPECT_FALSE(second.objectForKey("k")); // registrations belong to their own object
    // The observer sees the store through its own object, which registered nothing.
    EXPECT_EQ(heard, (std::vector<Change> { { "k", std::nullopt, 1 }, { "k", 1, std::nullopt } }));
}

TEST_F(UserDefaultsTest, ObserversGetOldAndNewValuesInWriteOrder)
{
    auto defaults = openSuite();
    defaults->registerDefaults({ { "count", 0 } });
    std::vector<Change> heard;
    std::vector<std::optional<std::string>> onDisk;
    defaults->addObserver("count", [&](auto& key, auto& oldValue, auto& newValue) {
        heard.emplace_back(key, oldValue, newValue);
        onDisk.push_back(storedText(file(), "test", "count"));
    });
    defaults->setObject(PropertyList(1), "count");
    defaults->setObject(PropertyList(1), "count");
    defaults->setObject(PropertyList(2.5), "count");
    defaults->setObject(std::nullopt, "count");
    defaults->removeObject("count");
    defaults->setObject(PropertyList(1), "other");

    EXPECT_EQ(heard,
        (std::vector<Change> { { "count", 0, 1 }, { "count", 1, 1 }, { "count", 1, 2.5 }, { "count", 2.5, 0 },
            { "count", 0, 0 } }));
    // Each observer runs after the write is committed.
    EXPECT_EQ(
        onDisk, (std::vector<std::optional<std::string>> { "1", "1", "2.5", std::nullopt, std::nullopt }));
}

TEST_F(UserDefaultsTest, AValueThatCannotBeStoredChangesNothing)
{
    auto defaults = openSuite();
    defaults->setObject(PropertyList(1.5), "r");
    int calls = 0;
    defaults->addObserver("r", [&](auto&, auto&, auto&) { ++calls; });
    defaults->setObject(PropertyList(std::numeric_limits<double>::quiet_NaN()), "r");
    EXPECT_EQ(defaults->objectForKey("r"), PropertyList(1.5));
    EXPECT_EQ(storedText(file(), "test", "r"), "1.5");
    EXPECT_EQ(calls, 0);
}

TEST_F(UserDefaultsTest, ObserversRunOnTheWritingThread)
{
    auto defaults = std::make_shared<UserDefaults>(DefaultsDatabase::open(":memory:"), "test");
    std::thread::id observedOn;
    defaults->addObserver("k", [&](auto&, auto&, auto&) { observedOn = std::this_thread::get_id(); });
    std::thread::id writer;
    std::thread thread([&] {
        writer = std::this_thread::get_id();
        defaults->setObject(PropertyList(1), "k");
    });
    thread.join();
    EXPECT_EQ(observedOn, writer);
}

TEST_F(UserDefaultsTest, ObserversMayBeRemovedAndMayUseTheStoreDuringDelivery)
{
    auto defaults = std::make_shared<UserDefaults>(DefaultsDatabase::open(":memory:"), "test");
    std::vector<std::string> calls;
    UserDefaults::ObserverId later = 0, self = 0;
    defaults->addObserver("k", [&](auto&, auto&, auto& newValue) {
        calls.push_back("first");
        defaults->removeObserver(later);
        // Reads and writes of the store from inside an observer.
        defaults->setObject(PropertyList(*newValue->template getIf<std::int64_t>() * 10), "echo");
        EXPECT_EQ(defaults->objectForKey("k"), newValue);
    });
    self = defaults->addObserver("k", [&](auto&, auto&, auto&) {
        calls.push_back("self");
        defaults->removeObserver(self);
    });
    later = defaults->addObserver("k", [&](auto&, auto&, auto&) { calls.push_back("later"); });

    defaults->setObject(PropertyList(1), "k");
    defaults->setObject(PropertyList(2), "k");
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "self", "first" }));
    EXPECT_EQ(defaults->objectForKey("echo"), PropertyList(20));
}

TEST_F(UserDefaultsTest, AnObjectTakesItsObserversWithIt)
{
    auto database = DefaultsDatabase::open(":memory:");
    UserDefaults writer(database, "app");
    int calls = 0;
    {
        UserDefaults watcher(database, "app");
        watcher.addObserver("k", [&](auto&, auto&, auto&) { ++calls; });
        writer.setObject(PropertyList(1), "k");
    }
    writer.setObject(PropertyList(2), "k");
    EXPECT_EQ(calls, 1);
}

TEST_F(UserDefaultsTest, RemoveAllTellsEveryKeyAndKeepsRegistrations)
{
    auto database = DefaultsDatabase::open(file());
    auto defaults = std::make_shared<UserDefaults>(database, "test");
    auto other = std::make_shared<UserDefaults>(database, "other");
    other->setObject(PropertyList("untouched"), "a");
    defaults->registerDefaults({ { "a", 1 }, { "onlyRegistered", true } });
    defaults->setObject(PropertyList(5), "a");
    defaults->setObject(PropertyList("x"), "b");
    std::vector<Change> heard;
    for (const char* key : { "a", "b", "onlyRegistered" }) {
        defaults->addObserver(key, [&](auto& k, auto& o, auto& n) { heard.emplace_back(k, o, n); });
    }
    defaults->removeAll();
    EXPECT_EQ(heard,
        (std::vector<Change> {
            { "a", 5, 1 }, { "b", "x", std::nullopt }, { "onlyRegistered", true, true } }));
    EXPECT_EQ(defaults->dictionaryRepresentation(),
        (PropertyListDictionary { { "a", 1 }, { "onlyRegistered", true } }));
    EXPECT_FALSE(storedText(file(), "test", "a"));
    EXPECT_FALSE(storedText(file(), "test", "b"));
    EXPECT_EQ(other->objectForKey("a"), PropertyList("untouched"));

    heard.clear();
    auto empty = std::make_shared<UserDefaults>(database, "empty");
    empty->removeAll();
    EXPECT_TRUE(empty->dictionaryRepresentation().empty());
}

TEST_F(UserDefaultsTest, StandardAndNamedSuitesShareOneDatabase)
{
    auto standard
        = std::make_shared<UserDefaults>(DefaultsDatabase::open(file()), UserDefaults::standardSuiteName);
    UserDefaults::setStandard(standard);
    EXPECT_EQ(UserDefaults::standard(), standard);
    EXPECT_EQ(UserDefaults::suite(UserDefaults::standardSuiteName), standard);
    auto named = UserDefaults::suite("group");
    EXPECT_EQ(UserDefaults::suite("group"), named);
    EXPECT_EQ(named->suiteName(), "group");
    ASSERT_TRUE(named->setObject(PropertyList(1), "k"));
    EXPECT_EQ(storedText(file(), "group", "k"), "1");

    const std::string otherFile = m_folder.path().toStdString() + "/other.sqlite3";
    UserDefaults::setStandard(std::make_shared<UserDefaults>(DefaultsDatabase::open(otherFile), "other"));
    auto renamed = UserDefaults::suite("group");
    EXPECT_NE(renamed, named);
    EXPECT_EQ(renamed->objectForKey("k"), std::nullopt);
    ASSERT_TRUE(renamed->setObject(PropertyList(2), "k"));
    EXPECT_EQ(storedText(otherFile, "group", "k"), "2");
    EXPECT_EQ(storedText(file(), "group", "k"), "1");

    UserDefaults::setStandard(nullptr);
    // Tests run with KIRUVO_DEFAULTS_PATH=:memory:; without it the default file would be used.
    if (std::string(std::getenv("KIRUVO_DEFAULTS_PATH") ? std::getenv("KIRUVO_DEFAULTS_PATH") : "")
        == ":memory:") {
        EXPECT_EQ(UserDefaults::standard()->suiteName(), "com.zelvantorium.Kiruvo");
        EXPECT_EQ(UserDefaults::standard()->filePath(), "");
    }
}

TEST_F(UserDefaultsTest, ConcurrentWritersReadersAndObservers)
{
    auto database = DefaultsDatabase::open(file());
    auto defaults = std::make_shared<UserDefaults>(database, "test");
    auto twin = std::make_shared<UserDefaults>(database, "test");
    defaults->registerDefaults({ { "shared", -1 } });
    std::atomic<int> heard = 0;
    twin->addObserver("shared", [&](auto&, auto&, auto& newValue) {
        EXPECT_TRUE(newValue);
        // Observers read the store while other threads write it.
        twin->objectForKey("own0");
        ++heard;
    });
    constexpr int threads = 6, writes = 40;
    std::atomic<bool> done = false;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < writes; ++i) {
                defaults->setObject(PropertyList(i), "own" + std::to_string(t));
                twin->setObject(PropertyList(PropertyListArray { t, i }), "shared");
                auto id = defaults->addObserver("own" + std::to_string(t), [](auto&, auto&, auto&) {});
                defaults->removeObserver(id);
            }
        });
    }
    std::thread reader([&] {
        while (!done) {
            auto value = defaults->objectForKey("shared");
            EXPECT_TRUE(value && (value->isArray() || *value == PropertyList(-1)));
            defaults->dictionaryRepresentation();
        }
    });
    for (auto& worker : workers) {
        worker.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(heard, threads * writes);
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(twin->objectForKey("own" + std::to_string(t)), PropertyList(writes - 1));
        EXPECT_EQ(storedText(file(), "test", "own" + std::to_string(t)), std::to_string(writes - 1));
    }
}

TEST_F(UserDefaultsTest, DidChangeTellsEveryCommittedWriteOfEverySuite)
{
    auto database = DefaultsDatabase::open(":memory:");
    UserDefaults first(database, "first");
    UserDefaults second(database, "second");
    int calls = 0;
    std::optional<PropertyList> seen;
    const auto id = UserDefaults::addDidChangeObserver([&] {
        ++calls;
        // The write is visible from inside the delivery.
        seen = first.objectForKey("k");
    });

    first.setObject(PropertyList(1), "k");
    EXPECT_EQ(seen, PropertyList(1));
    second.setObject(PropertyList("x"), "other");
    first.removeObject("k");
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(seen, std::nullopt);

    // A value that cannot be stored changes nothing and tells nothing.
    first.setObject(PropertyList(std::numeric_limits<double>::quiet_NaN()), "k");
    EXPECT_EQ(calls, 3);

    // removeAll tells once per removed key.
    second.setObject(PropertyList(2), "more");
    calls = 0;
    second.removeAll();
    EXPECT_EQ(calls, 2);

    UserDefaults::removeDidChangeObserver(id);
    first.setObject(PropertyList(2), "k");
    EXPECT_EQ(calls, 2);
}

// A file another process held at the opening changes the store when it opens: that is told too.
TEST_F(UserDefaultsTest, DidChangeTellsTheOpeningOfAFileHeldAtStart)
{
    {
        auto defaults = openSuite();
        ASSERT_TRUE(defaults->setObject(PropertyList(1), "k"));
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
        SQLITE_OK);
    UserDefaults defaults(DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 }), "test");
    int calls = 0;
    const auto id = UserDefaults::addDidChangeObserver([&] { ++calls; });
    EXPECT_EQ(defaults.objectForKey("k"), std::nullopt);
    defaults.retryWaitingForFile();
    EXPECT_EQ(calls, 0);
    ASSERT_EQ(sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    defaults.retryWaitingForFile();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(defaults.objectForKey("k"), PropertyList(1));
    defaults.retryWaitingForFile();
    EXPECT_EQ(calls, 1);
    UserDefaults::removeDidChangeObserver(id);
}

TEST_F(UserDefaultsTest, ADidChangeObserverRemovedDuringDeliveryIsNotCalledAgain)
{
    UserDefaults defaults(DefaultsDatabase::open(":memory:"), "test");
    std::vector<std::string> calls;
    UserDefaults::ObserverId later = 0;
    const auto first = UserDefaults::addDidChangeObserver([&] {
        calls.push_back("first");
        UserDefaults::removeDidChangeObserver(later);
    });
    later = UserDefaults::addDidChangeObserver([&] { calls.push_back("later"); });
    defaults.setObject(PropertyList(1), "k");
    defaults.setObject(PropertyList(2), "k");
    UserDefaults::removeDidChangeObserver(first);
    EXPECT_EQ(calls, (std::vector<std::string> { "first", "first" }));
}

// What callers above the store ask of it: the stored values alone, without the registered defaults
// and without the other suites of the file.
TEST_F(UserDefaultsTest, StoredValuesAreThoseOfTheSuiteWithoutItsDefaults)
{
    auto defaults = openSuite();
    auto other = openSuite("other");
    defaults->registerDefaults({ { "registered", 1 }, { "both", 2 } });
    ASSERT_TRUE(defaults->setObject(PropertyList(3), "both"));
    ASSERT_TRUE(defaults->setObject(PropertyList("x"), "stored"));
    ASSERT_TRUE(other->setObject(PropertyList(true), "elsewhere"));

    EXPECT_EQ(defaults->storedValue("registered"), nullptr);
    ASSERT_NE(defaults->storedValue("both"), nullptr);
    EXPECT_EQ(*defaults->storedValue("both"), PropertyList(3));
    EXPECT_EQ(defaults->storedValue("elsewhere"), nullptr);
    PropertyListDictionary all;
    for (const auto& [key, value] : defaults->storedValues()) {
        ASSERT_NE(value, nullptr) << key;
        all.emplace(key, *value);
    }
    EXPECT_EQ(all, (PropertyListDictionary { { "both", 3 }, { "stored", "x" } }));
    EXPECT_FALSE(defaults->isStoredButUnread("both"));
    EXPECT_EQ(defaults->filePath(), file());
    EXPECT_TRUE(defaults->unavailableReason().empty());

    UserDefaults inMemory(DefaultsDatabase::open(":memory:"), "test");
    EXPECT_TRUE(inMemory.filePath().empty());
}

// The user copies or backs up the one file: it holds every value alone once the write returns, and
// after a close too; reads go on from memory and writes are refused.
TEST_F(UserDefaultsTest, SynchronizeAndCloseLeaveTheFileCompleteByItself)
{
    auto defaults = openSuite();
    ASSERT_TRUE(defaults->setObject(PropertyList("kept"), "k"));
    const std::string copy = m_folder.path().toStdString() + "/copy.sqlite3";
    const auto copyOfTheFileAlone = [&] {
        std::filesystem::remove(copy);
        std::filesystem::copy_file(file(), copy);
        return storedText(copy, "test", "k");
    };
    EXPECT_EQ(copyOfTheFileAlone(), "\"kept\"");
    EXPECT_TRUE(defaults->synchronize());

    ASSERT_TRUE(defaults->setObject(PropertyList("last"), "k"));
    defaults->close();
    EXPECT_FALSE(std::filesystem::exists(file() + "-wal"));
    EXPECT_EQ(copyOfTheFileAlone(), "\"last\"");
    EXPECT_EQ(defaults->objectForKey("k"), PropertyList("last"));
    EXPECT_FALSE(defaults->setObject(PropertyList("after"), "k"));
    EXPECT_EQ(storedText(file(), "test", "k"), "\"last\"");
}

// Another program (the sqlite3 tool) holds the file, readers too, when the store opens: nothing
// is known of it, and a value written meanwhile waits beside it, joined by the suite's join with
// what the file holds once it is free.
TEST_F(UserDefaultsTest, AFileHeldAtTheOpeningIsWaitedForAndWritesJoinIt)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    {
        auto defaults = openSuite();
        ASSERT_TRUE(defaults->setObject(PropertyList(5), "count"));
    }
    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(true));
    UserDefaults defaults(DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 }), "test");
    UserDefaults otherSuite(DefaultsDatabase::open(":memory:"), "other");
    const auto add = [](const PropertyList& stored, const PropertyList& written, const PropertyList*) {
        return std::optional(PropertyList(*stored.getIf<std::int64_t>() + *written.getIf<std::int64_t>()));
    };
    defaults.setJoin("count", add);
    std::vector<Change> heard;
    defaults.addObserver("count", [&](auto& k, auto& o, auto& n) { heard.emplace_back(k, o, n); });

    EXPECT_TRUE(defaults.isWaitingForFile());
    EXPECT_EQ(defaults.storedValue("count"), nullptr);
    ASSERT_TRUE(defaults.setObject(PropertyList(1), "count"));
    EXPECT_TRUE(defaults.hasWritesWaitingForFile());
    EXPECT_FALSE(defaults.retryWaitingForFile());
    EXPECT_TRUE(defaults.isWaitingForFile());

    other.release();
    EXPECT_TRUE(defaults.retryWaitingForFile());
    EXPECT_FALSE(defaults.isWaitingForFile());
    EXPECT_FALSE(defaults.hasWritesWaitingForFile());
    EXPECT_EQ(storedText(file(), "test", "count"), "6");
    EXPECT_EQ(defaults.objectForKey("count"), PropertyList(6));
    EXPECT_EQ(heard.back(), Change("count", 1, 6));
    EXPECT_TRUE(otherSuite.retryWaitingForFile());
}

// A join given for the whole process reaches a store opened afterwards, for its suite alone.
TEST_F(UserDefaultsTest, AProcessJoinReachesTheStoresOfItsSuiteOnly)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    const std::string suite = "processJoinOfUserDefaultsTest";
    struct Forget {
        std::string suite;
        ~Forget() { UserDefaults::setProcessJoin(suite, "count", nullptr); }
    } forget { suite };
    UserDefaults::setProcessJoin(
        suite, "count", [](const PropertyList& stored, const PropertyList& written, const PropertyList*) {
            return std::optional(
                PropertyList(*stored.getIf<std::int64_t>() + *written.getIf<std::int64_t>()));
        });
    {
        auto database = DefaultsDatabase::open(file());
        ASSERT_TRUE(database->setValue(suite, "count", 5));
        ASSERT_TRUE(database->setValue("test", "count", 5));
    }
    SqliteToolLock other(file());
    ASSERT_TRUE(other.hold(true));
    auto database = DefaultsDatabase::open(file(), { .busyTimeoutMilliseconds = 0 });
    UserDefaults joined(database, suite);
    UserDefaults plain(database, "test");
    ASSERT_TRUE(joined.setObject(PropertyList(2), "count"));
    ASSERT_TRUE(plain.setObject(PropertyList(2), "count"));
    other.release();
    EXPECT_TRUE(joined.retryWaitingForFile());
    EXPECT_EQ(joined.objectForKey("count"), PropertyList(7));
    // Written blind without a join: the stored value is kept aside, not added to.
    EXPECT_EQ(plain.objectForKey("count"), PropertyList(2));
}

// Another program's commits (the sqlite3 tool, in a process of its own) reach the observers of
// every key they change, through the watch on the file, with no question asked of the store: a
// setting written, one added, one removed, each heard once with its new value; a key left alone is
// not heard; a later commit to it is.
TEST_F(UserDefaultsTest, AnotherProgramsCommitsReachEveryChangedKeysObservers)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    auto suite = openSuite();
    ASSERT_TRUE(suite->setObject(PropertyList("currentSessionDuration"), "showInMenuBar"));
    ASSERT_TRUE(suite->setObject(PropertyList("600"), "notifyInterval"));
    ASSERT_TRUE(suite->setObject(PropertyList(PropertyListArray { 1 }), "KeyboardShortcuts_toggleEnabled"));
    std::vector<Change> heard;
    for (const char* key :
        { "showInMenuBar", "idleDurationBeforeStop", "notifyInterval", "KeyboardShortcuts_toggleEnabled" }) {
        suite->addObserver(key, [&](const std::string& changed, const auto& before, const auto& after) {
            heard.emplace_back(changed, before, after);
        });
    }
    int storeChanges = 0;
    const auto didChange = UserDefaults::addDidChangeObserver([&] { ++storeChanges; });
    ASSERT_TRUE(suite->hearOtherPrograms());

    const auto commit = [&](const std::string& sql) {
        SqliteToolLock other(file());
        return other.hold(false) && other.exec(sql) && other.commitAndRelease();
    };
    ASSERT_TRUE(commit("UPDATE defaults SET value = '\"icon\"' WHERE key = 'showInMenuBar';"
                       "INSERT INTO defaults VALUES('test', 'idleDurationBeforeStop', '\"5\"');"
                       "DELETE FROM defaults WHERE key = 'notifyInterval';"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard.size() >= 3; }, 5000));
    std::sort(heard.begin(), heard.end(),
        [](const Change& a, const Change& b) { return std::get<0>(a) < std::get<0>(b); });
    EXPECT_EQ(heard,
        (std::vector<Change> { { "idleDurationBeforeStop", std::nullopt, PropertyList("5") },
            { "notifyInterval", PropertyList("600"), std::nullopt },
            { "showInMenuBar", PropertyList("currentSessionDuration"), PropertyList("icon") } }));
    EXPECT_EQ(suite->objectForKey("showInMenuBar"), PropertyList("icon"));
    EXPECT_EQ(suite->objectForKey("notifyInterval"), std::nullopt);
    EXPECT_GE(storeChanges, 1);

    heard.clear();
    ASSERT_TRUE(commit("UPDATE defaults SET value = '[2]' WHERE key = 'KeyboardShortcuts_toggleEnabled';"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !heard.empty(); }, 5000));
    EXPECT_EQ(heard,
        (std::vector<Change> { { "KeyboardShortcuts_toggleEnabled", PropertyList(PropertyListArray { 1 }),
            PropertyList(PropertyListArray { 2 }) } }));
    UserDefaults::removeDidChangeObserver(didChange);
}

// Another program writes what does not read, then repairs it. The repaired value is read at the
// next question; and a write made over the key before the store heard of the repair is joined with
// it rather than replacing it, with no backup of a text the file no longer holds.
TEST_F(UserDefaultsTest, AValueAnotherProgramRepairsIsReadAndNotReplacedUnseen)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    auto suite = openSuite();
    const auto unite = [](const PropertyList& stored, const PropertyList& written, const PropertyList*) {
        auto joined = *stored.getIf<PropertyListArray>();
        for (const auto& element : *written.getIf<PropertyListArray>()) {
            joined.push_back(element);
        }
        return std::optional(PropertyList(std::move(joined)));
    };
    suite->setJoin("read", unite);
    suite->setJoin("written", unite);
    ASSERT_TRUE(suite->setObject(PropertyList(PropertyListArray { 1 }), "read"));
    ASSERT_TRUE(suite->setObject(PropertyList(PropertyListArray { 1 }), "written"));
    const auto commit = [&](const std::string& sql) {
        SqliteToolLock other(file());
        return other.hold(false) && other.exec(sql) && other.commitAndRelease();
    };

    ASSERT_TRUE(commit("UPDATE defaults SET value = '[1,' WHERE key IN ('read', 'written');"));
    suite->catchUp("read");
    suite->catchUp("written");
    EXPECT_EQ(suite->objectForKey("read"), std::nullopt);
    ASSERT_TRUE(commit("UPDATE defaults SET value = '[2]' WHERE key IN ('read', 'written');"));

    suite->catchUp("read");
    EXPECT_EQ(suite->objectForKey("read"), PropertyList(PropertyListArray { 2 }));
    // Derived from nothing, as a writer that read nothing has it.
    ASSERT_TRUE(suite->setObject(PropertyList(PropertyListArray { 3 }), "written", StoredValue()));
    EXPECT_EQ(storedText(file(), "test", "written"), "[2,3]");
    EXPECT_EQ(suite->objectForKey("written"), PropertyList(PropertyListArray { 2, 3 }));
    for (const auto& [key, value] : suite->storedValues()) {
        EXPECT_EQ(key.find(".unreadable-"), std::string::npos) << key;
    }
}
