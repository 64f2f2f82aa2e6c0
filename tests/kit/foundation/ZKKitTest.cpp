#include "kit/foundation/ZKKit.h"

#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/RunOnce.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "kit/foundation/ZKApp.h"
#include "libraries/defaults/Defaults.h"
#include "platform/fake/FakeClock.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/time/Date.h"
#include "support/SqliteToolLock.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sqlite3.h>

namespace {

using platform::PropertyList;
using platform::UserDefaults;
namespace Flags = zk::ModifierFlags;

constexpr std::uint64_t userDebugKeys = Flags::shift | Flags::control | Flags::option;
constexpr std::uint64_t resetKeys = userDebugKeys | Flags::command;

void drainMainQueue()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

class ZKKitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        zk::DiagnosticsSeam seam;
        seam.showUserDebugWindow = [this] { calls.push_back("userDebugWindow"); };
        seam.resetAppData = [this] { calls.push_back("reset"); };
        seam.relaunchAfterReset = [this](bool exitImmediately, bool showSettings) {
            calls.push_back(std::string("relaunch ") + (exitImmediately ? "exit" : "terminate")
                + (showSettings ? " settings" : ""));
        };
        zk::DiagnosticsSeam::install(seam);
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alertTexts.push_back(alert.text().toStdString());
            const auto* answersReturn = alert.defaultButton();
            defaultButtons.push_back(answersReturn ? answersReturn->text().toStdString() : std::string());
            return alertAnswer;
        });
    }
    void TearDown() override
    {
        drainMainQueue();
        zk::DiagnosticsSeam::install({});
        zk::AlertPresenter::shared().setRunModal({});
        zk::SettingsWindowOpener::setOpener({});
    }

    // One launch of the application against the store: a fresh suite object over the same
    // database, as a new process would have.
    std::unique_ptr<zk::ZKKit> launch(std::uint64_t modifiers = 0)
    {
        suite = std::make_shared<UserDefaults>(database, UserDefaults::standardSuiteName);
        zk::ZKKit::Environment environment;
        environment.suite = suite;
        environment.modifiers = [modifiers] { return modifiers; };
        environment.crashedLastRun = [this] { return reporterSaysCrashed; };
        return std::make_unique<zk::ZKKit>(environment);
    }

    std::optional<PropertyList> storedCount() const
    {
        auto value = database->value(UserDefaults::standardSuiteName, zk::ZKKit::launchCountKey);
        return value ? std::optional<PropertyList>(*value) : std::nullopt;
    }

    platform::fake::ScopedFakeClock clock { platform::Date(700000000.0) };
    std::shared_ptr<platform::DefaultsDatabase> database = platform::DefaultsDatabase::open(":memory:");
    std::shared_ptr<UserDefaults> suite;
    bool reporterSaysCrashed = false;
    std::vector<std::string> calls;
    std::vector<std::string> alertTexts;
    // The title of the button that answers Return in each alert.
    std::vector<std::string> defaultButtons;
    int alertAnswer = 1;
};

TEST_F(ZKKitTest, CountsLaunchesFromOneAndTheFirstIsTheOneWithNothingStored)
{
    auto first = launch();
    EXPECT_EQ(first->launchCount(), 1);
    EXPECT_TRUE(first->isFirstLaunch());
    ASSERT_TRUE(storedCount());
    EXPECT_EQ(*storedCount(), PropertyList(std::int64_t { 1 }));

    auto second = launch();
    EXPECT_EQ(second->launchCount(), 2);
    EXPECT_FALSE(second->isFirstLaunch());
    EXPECT_EQ(*storedCount(), PropertyList(std::int64_t { 2 }));

    // The registered default is no stored count.
    EXPECT_EQ(suite->objectForKey("NSApplicationCrashOnExceptions"), PropertyList(true));
    EXPECT_FALSE(database->value(UserDefaults::standardSuiteName, "NSApplicationCrashOnExceptions"));
}

TEST_F(ZKKitTest, AnUnreadableOrAbsurdCountNeverMakesALaunchTheFirst)
{
    const std::vector<PropertyList> broken {
        PropertyList(std::string("many")),
        PropertyList(std::int64_t { -7 }),
        PropertyList(std::int64_t { 0 }),
        PropertyList(2.5),
        PropertyList(true),
    };
    for (const auto& value : broken) {
        database->setValue(UserDefaults::standardSuiteName, zk::ZKKit::launchCountKey, value);
        auto kit = launch();
        EXPECT_FALSE(kit->isFirstLaunch());
        EXPECT_EQ(kit->launchCount(), 2);
        EXPECT_EQ(*storedCount(), PropertyList(std::int64_t { 2 }));
    }

    database->setValue(UserDefaults::standardSuiteName, zk::ZKKit::launchCountKey,
        PropertyList(std::numeric_limits<std::int64_t>::max()));
    auto kit = launch();
    EXPECT_FALSE(kit->isFirstLaunch());
    EXPECT_EQ(kit->launchCount(), std::numeric_limits<std::int64_t>::max());
}

TEST_F(ZKKitTest, AfterTheSettingsAreDeletedTheNextLaunchIsAFirstLaunchAgain)
{
    launch();
    launch();
    suite->removeAll();
    auto kit = launch();
    EXPECT_TRUE(kit->isFirstLaunch());
    EXPECT_EQ(kit->launchCount(), 1);
}

TEST_F(ZKKitTest, FirstLaunchDateIsStoredOnceAndLaunchTimeIsEachLaunchsOwn)
{
    const platform::Date start = clock.clock.now();
    auto first = launch();
    EXPECT_EQ(first->firstLaunchDate(), start);
    EXPECT_EQ(first->launchTime(), start);

    clock.clock.advance(86400);
    auto second = launch();
    EXPECT_EQ(second->firstLaunchDate(), start);
    EXPECT_EQ(second->launchTime(), start.addingTimeInterval(86400));
    EXPECT_EQ(suite->objectForKey("ZK_firstLaunchDate"), PropertyList(start));

    // A stored value that is no date is replaced by the launch's time.
    database->setValue(UserDefaults::standardSuiteName, "ZK_firstLaunchDate", PropertyList(std::string("x")));
    auto third = launch();
    EXPECT_EQ(third->firstLaunchDate(), start.addingTimeInterval(86400));
}

TEST_F(ZKKitTest, ACrashOfAnEarlierRunIsRememberedOnEveryLaterLaunch)
{
    EXPECT_FALSE(launch()->hasCrashedLastRun());
    reporterSaysCrashed = true;
    EXPECT_TRUE(launch()->hasCrashedLastRun());
    reporterSaysCrashed = false;
    EXPECT_TRUE(launch()->hasCrashedLastRun());
    EXPECT_EQ(suite->objectForKey("ZK_Sentry_hasCrashed"), PropertyList(true));
}

TEST(ModifierFlagsTest, OnlyTheExactSetMatchesAndLockKeysNeverMatter)
{
    const std::uint64_t debug = Flags::shift | Flags::control;
    EXPECT_TRUE(Flags::areExactly(debug, debug));
    EXPECT_TRUE(Flags::areExactly(debug | Flags::capsLock, debug));
    EXPECT_TRUE(Flags::areExactly(debug | Flags::numericPad | Flags::function, debug));
    // Device-dependent bits (left or right key) are not looked at.
    EXPECT_TRUE(Flags::areExactly(debug | 0x2, debug));
    EXPECT_FALSE(Flags::areExactly(debug | Flags::command, debug));
    EXPECT_FALSE(Flags::areExactly(Flags::shift, debug));
    EXPECT_FALSE(Flags::areExactly(resetKeys, userDebugKeys));
    EXPECT_TRUE(Flags::areExactly(resetKeys | Flags::capsLock, resetKeys));
    EXPECT_FALSE(Flags::areExactly(0, debug));
}

TEST_F(ZKKitTest, ShiftControlAltAtLaunchOpensTheUserDebugWindowAndOffersNoReset)
{
    auto kit = launch(userDebugKeys | Flags::capsLock);
    drainMainQueue();
    EXPECT_EQ(calls, std::vector<std::string> { "userDebugWindow" });
    EXPECT_TRUE(alertTexts.empty());
}

TEST_F(ZKKitTest, AddingSuperOffersTheResetInsteadOfTheWindow)
{
    alertAnswer = 1; // "Cancel"
    auto kit = launch(resetKeys | Flags::capsLock);
    drainMainQueue();
    ASSERT_EQ(alertTexts.size(), 1u);
    EXPECT_EQ(alertTexts[0], "Are you sure you want to delete the settings and data for Kiruvo?");
    // Return, pressed out of habit at launch, deletes nothing.
    EXPECT_EQ(defaultButtons, std::vector<std::string> { "Cancel" });
    EXPECT_TRUE(calls.empty());
}

TEST_F(ZKKitTest, DeleteResetsAndRelaunchesThroughTheNormalTermination)
{
    alertAnswer = 0; // "Delete"
    auto kit = launch(resetKeys);
    drainMainQueue();
    ASSERT_EQ(alertTexts.size(), 1u);
    EXPECT_EQ(calls, (std::vector<std::string> { "reset", "relaunch terminate" }));
}

TEST_F(ZKKitTest, ClosingTheResetAlertOtherwiseChangesNothing)
{
    alertAnswer = -1;
    auto kit = launch(resetKeys);
    drainMainQueue();
    EXPECT_EQ(alertTexts.size(), 1u);
    EXPECT_TRUE(calls.empty());
}

TEST_F(ZKKitTest, NoKeysNoWindowNoOffer)
{
    auto kit = launch(Flags::shift | Flags::control | Flags::command);
    drainMainQueue();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(alertTexts.empty());
}

TEST_F(ZKKitTest, TheSettingsWindowRequestedByARelaunchOpensOnceAtTheNextLaunch)
{
    int opened = 0;
    zk::SettingsWindowOpener::setOpener([&] { ++opened; });
    launch();
    Defaults::write<bool>(*suite, "ZK_isShowingSettingsAfterRelaunch", true);

    auto next = launch();
    EXPECT_EQ(opened, 0); // from the main queue, not inside start-up
    drainMainQueue();
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(database->value(UserDefaults::standardSuiteName, "ZK_isShowingSettingsAfterRelaunch"));

    auto after = launch();
    drainMainQueue();
    EXPECT_EQ(opened, 1);
}

// Another program (a backup, a database browser) holding the settings file while the application
// starts, as a second SQLite connection does: the store starts on nothing, so what start-up writes
// is written without the stored values at hand.
class ZKKitHeldStoreTest : public ZKKitTest {
protected:
    void SetUp() override
    {
        ZKKitTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        path = folder.filePath(QStringLiteral("defaults.sqlite3")).toStdString();
        database = platform::DefaultsDatabase::open(path);
        for (int i = 0; i < 5; ++i) {
            launch();
        }
        ASSERT_TRUE(zk::runOnce(
            migration, [] {}, suite));
        suite.reset();
        database.reset();
        clock.clock.advance(86400);
    }
    void TearDown() override
    {
        release();
        suite.reset();
        database.reset();
        ZKKitTest::TearDown();
    }

    void hold()
    {
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(other, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
    }
    void release()
    {
        if (other) {
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close_v2(other);
            other = nullptr;
        }
    }
    void openHeld()
    {
        database = platform::DefaultsDatabase::open(path, { .busyTimeoutMilliseconds = 0 });
        ASSERT_TRUE(database->isWaitingForFile());
    }
    // Keys the store set aside because a write replaced their stored value unseen.
    std::vector<std::string> setAside() const
    {
        std::vector<std::string> keys;
        for (const auto& [key, value] : database->values(UserDefaults::standardSuiteName)) {
            if (key.find(".unreadable-") != std::string::npos) {
                keys.push_back(key);
            }
        }
        return keys;
    }

    static constexpr const char* migration = "heldStoreMigration";
    QTemporaryDir folder;
    std::string path;
    sqlite3* other = nullptr;
    const platform::Date firstLaunch = clock.clock.now();
};

TEST_F(ZKKitHeldStoreTest, ALaunchMeanwhileIsNoFirstLaunchAndAddsToTheStoredFactsOnceTheFileOpens)
{
    hold();
    openHeld();
    auto kit = launch();
    EXPECT_FALSE(kit->isFirstLaunch());
    bool ran = false;
    EXPECT_FALSE(zk::runOnce(
        migration, [&] { ran = true; }, suite));
    EXPECT_FALSE(ran);
    EXPECT_FALSE(zk::runOnce("heldStoreNote", suite));

    release();
    database->retry();
    ASSERT_FALSE(database->isWaitingForFile());
    EXPECT_EQ(*storedCount(), PropertyList(std::int64_t { 6 }));
    EXPECT_EQ(suite->objectForKey(zk::ZKApp::firstLaunchDateKey), PropertyList(firstLaunch));
    EXPECT_TRUE(zk::hasRunOnce(migration, suite));
    EXPECT_FALSE(zk::hasRunOnce("heldStoreNote", suite));
    EXPECT_TRUE(setAside().empty());

    auto next = launch();
    EXPECT_EQ(next->launchCount(), 7);
    EXPECT_EQ(next->firstLaunchDate(), firstLaunch);
    EXPECT_TRUE(zk::runOnce("heldStoreNote", suite));
}

// The file is still held when the application quits, twice: the next launch that opens it puts
// both launches into the stored count as it opens.
TEST_F(ZKKitHeldStoreTest, LaunchesMadeWhileTheFileStayedHeldAreCountedAtTheNextOpening)
{
    zk::ZKKit::joinStartUpKeysWrittenBeforeTheStoreOpens();
    hold();
    for (int i = 0; i < 2; ++i) {
        openHeld();
        EXPECT_FALSE(launch()->isFirstLaunch());
        suite.reset();
        database->close();
        database.reset();
    }
    release();

    database = platform::DefaultsDatabase::open(path);
    ASSERT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(*storedCount(), PropertyList(std::int64_t { 7 }));
    auto next = launch();
    EXPECT_EQ(next->launchCount(), 8);
    EXPECT_EQ(next->firstLaunchDate(), firstLaunch);
    EXPECT_TRUE(setAside().empty());
}

// A launch whose count is kept while another program (the sqlite3 tool) holds the file for writing,
// and that program launches once too meanwhile: both launches count, and neither twice.
TEST_F(ZKKitHeldStoreTest, ALaunchKeptDuringALockAddsOnlyItselfToACountRaisedMeanwhile)
{
    if (!SqliteToolLock::available()) {
        GTEST_SKIP() << "the sqlite3 tool is not installed";
    }
    zk::ZKKit::joinStartUpKeysWrittenBeforeTheStoreOpens();
    database = platform::DefaultsDatabase::open(path);
    SqliteToolLock writer(path);
    ASSERT_TRUE(writer.hold(false));
    EXPECT_EQ(launch()->launchCount(), 6);
    ASSERT_TRUE(database->hasPendingWrites());
    ASSERT_TRUE(writer.exec("UPDATE defaults SET value = '6' WHERE key = 'ZK_launchCount';"));
    ASSERT_TRUE(writer.commitAndRelease());

    database->retry();
    ASSERT_FALSE(database->hasPendingWrites());
    EXPECT_EQ(*storedCount(), PropertyList(std::int64_t { 7 }));
    EXPECT_TRUE(setAside().empty());
}

TEST(ResetAppDataTest, RemovesSettingsAndDataButKeepsTheDatabaseAndTheUsersScripts)
{
    QTemporaryDir temporary;
    const std::filesystem::path root = temporary.path().toStdString();
    const auto data = root / "data";
    const auto cache = root / "cache";
    std::filesystem::create_directories(data / "exports");
    std::filesystem::create_directories(data / "shortcuts");
    std::filesystem::create_directories(cache);
    for (const auto& file : { data / "defaults.sqlite3", data / "defaults.sqlite3-wal", data / "notes.json",
             data / "exports" / "a.csv", data / "shortcuts" / "mine.sh", cache / "thumb" }) {
        std::ofstream(file) << "x";
    }
    auto suite = std::make_shared<UserDefaults>(
        platform::DefaultsDatabase::open(":memory:"), UserDefaults::standardSuiteName);
    suite->setObject(PropertyList(std::int64_t { 4 }), "ZK_launchCount");
    suite->setObject(PropertyList(true), "ZK_App_runOnce__x");
    suite->registerDefaults({ { "enableAtLaunch", PropertyList(true) } });

    zk::removeAppData(*suite, data, cache, "defaults.sqlite3");

    EXPECT_FALSE(suite->objectForKey("ZK_launchCount"));
    EXPECT_FALSE(suite->objectForKey("ZK_App_runOnce__x"));
    EXPECT_EQ(suite->objectForKey("enableAtLaunch"), PropertyList(true));
    EXPECT_TRUE(std::filesystem::exists(data / "defaults.sqlite3"));
    EXPECT_TRUE(std::filesystem::exists(data / "defaults.sqlite3-wal"));
    EXPECT_TRUE(std::filesystem::exists(data / "shortcuts" / "mine.sh"));
    EXPECT_FALSE(std::filesystem::exists(data / "notes.json"));
    EXPECT_FALSE(std::filesystem::exists(data / "exports"));
    EXPECT_FALSE(std::filesystem::exists(cache));

    // Nothing there is no failure.
    zk::removeAppData(*suite, root / "missing", root / "missing-cache", "defaults.sqlite3");
}

TEST(ZKAppTest, IdentityAndEnvironment)
{
    EXPECT_EQ(zk::ZKApp::bundleIdentifier(), "com.zelvantorium.Kiruvo");
    EXPECT_EQ(zk::ZKApp::name(), "Kiruvo");
    EXPECT_EQ(zk::ZKApp::version(), KIRUVO_VERSION);
    EXPECT_EQ(zk::ZKApp::versionWithBuild("2.1", "45"), "2.1 (45)");
    EXPECT_EQ(zk::ZKApp::url(), QCoreApplication::applicationFilePath().toStdString());
    // The store knows the application by the identifier it runs under.
    EXPECT_EQ(zk::ZKApp::storeIdentifier, zk::ZKApp::bundleIdentifier());
    EXPECT_TRUE(std::string(zk::ZKApp::storeAddress).ends_with("/" + zk::ZKApp::bundleIdentifier()));

    const char* empty[] = { "HOME=/home/a", "APP_SANDBOX_CONTAINER_ID=", nullptr };
    EXPECT_TRUE(zk::ZKApp::isSandboxed(empty));
    const char* other[] = { "HOME=/home/a", "APP_SANDBOX_CONTAINER_IDX=1", nullptr };
    EXPECT_FALSE(zk::ZKApp::isSandboxed(other));
    const char* none[] = { nullptr };
    EXPECT_FALSE(zk::ZKApp::isSandboxed(none));

    EXPECT_EQ(zk::ZKApp::localizedLanguageName(platform::Locale("fr_FR")), "French");
    EXPECT_EQ(zk::ZKApp::localizedLanguageName(platform::Locale("")), std::nullopt);
}

} // namespace
