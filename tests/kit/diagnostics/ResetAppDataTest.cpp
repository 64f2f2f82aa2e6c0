#include "kit/diagnostics/ResetAppData.h"

#include "DiagnosticsFixture.h"

#include "platform/fake/FakeLoginItemService.h"
#include <QFile>

#include <algorithm>
#include <fstream>

using namespace zk;
using platform::PropertyList;

class ResetAppDataTest : public DiagnosticsFixture {
protected:
    void SetUp() override
    {
        DiagnosticsFixture::SetUp();
        data = std::filesystem::path(folder.path().toStdString()) / "XDG_DATA_HOME" / "kiruvo";
        cache = std::filesystem::path(folder.path().toStdString()) / "XDG_CACHE_HOME" / "kiruvo";
        std::filesystem::create_directories(data / "shortcuts");
        std::ofstream(data / "shortcuts" / "stretch.sh") << "#!/bin/sh\necho stretch\n";
        std::filesystem::create_directories(cache);
        std::ofstream(data / "history.json") << "[]";
        std::ofstream(cache / "icons") << "x";
        suite->setObject(PropertyList(3), "ZK_launchCount");
        suite->setObject(PropertyList("[]"), "sessions");
        suite->setObject(PropertyList(platform::PropertyListDictionary {}), "__securityScopedBookmarks__");
    }

    ResetEnvironment recordingEnvironment(std::optional<std::filesystem::path> failing = std::nullopt)
    {
        ResetEnvironment environment;
        environment.isSandboxed = false;
        environment.loginItems = &loginItems;
        environment.moveToTrash
            = [this, failing](const std::filesystem::path& path) -> std::optional<std::string> {
            trashed.push_back(path);
            if (failing && path == *failing) {
                return std::string("Permission denied");
            }
            return std::nullopt;
        };
        return environment;
    }

    std::filesystem::path data;
    std::filesystem::path cache;
    std::vector<std::filesystem::path> trashed;
    platform::fake::FakeLoginItemService loginItems;
};

TEST_F(ResetAppDataTest, RemovesEveryKeyAndMovesDataThenCacheToTheTrash)
{
    const ResetResult result = resetAppData(recordingEnvironment());
    EXPECT_TRUE(result.succeeded());
    EXPECT_TRUE(suite->dictionaryRepresentation().empty());
    EXPECT_EQ(trashed, (std::vector<std::filesystem::path> { data, cache }));
    EXPECT_TRUE(std::filesystem::exists(data / "shortcuts" / "stretch.sh"));
}

TEST_F(ResetAppDataTest, ADataFolderThatCannotMoveIsReportedAndKeepsTheCacheInPlace)
{
    const ResetResult result = resetAppData(recordingEnvironment(data));
    EXPECT_FALSE(result.succeeded());
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_NE(result.failures[0].find(data.string()), std::string::npos);
    EXPECT_NE(result.failures[0].find("Permission denied"), std::string::npos);
    EXPECT_EQ(trashed, (std::vector<std::filesystem::path> { data }));
    // The settings are gone all the same.
    EXPECT_TRUE(suite->dictionaryRepresentation().empty());
}

TEST_F(ResetAppDataTest, ASandboxMovesItsOwnFolderAndMissingFoldersAreNothingToDelete)
{
    ResetEnvironment sandboxed = recordingEnvironment();
    sandboxed.isSandboxed = true;
    EXPECT_TRUE(resetAppData(sandboxed).succeeded());
    EXPECT_EQ(trashed, (std::vector<std::filesystem::path> { data.parent_path().parent_path() }));

    trashed.clear();
    std::filesystem::remove_all(cache);
    EXPECT_TRUE(resetAppData(recordingEnvironment()).succeeded());
    EXPECT_EQ(trashed, (std::vector<std::filesystem::path> { data }));
}

TEST_F(ResetAppDataTest, TheRealTrashTakesBothFoldersAndLeavesTheUsersScripts)
{
    ResetEnvironment unsandboxed;
    unsandboxed.isSandboxed = false;
    unsandboxed.loginItems = &loginItems;
    const ResetResult result = resetAppData(unsandboxed);
    EXPECT_TRUE(result.succeeded()) << (result.failures.empty() ? "" : result.failures[0]);
    EXPECT_FALSE(std::filesystem::exists(data / "history.json"));
    EXPECT_FALSE(std::filesystem::exists(cache));
    const auto trash
        = std::filesystem::path(folder.path().toStdString()) / "XDG_DATA_HOME" / "Trash" / "files";
    EXPECT_TRUE(std::filesystem::exists(trash / "kiruvo" / "history.json"));
    // The scripts are the user's own work: they stay where they were, and the reset says so.
    EXPECT_FALSE(std::filesystem::exists(trash / "kiruvo" / "shortcuts"));
    std::ifstream script(data / "shortcuts" / "stretch.sh");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(script), {}), "#!/bin/sh\necho stretch\n");
    const auto said = [&result](const std::string& words) {
        return std::any_of(result.removed.begin(), result.removed.end(),
            [&words](const std::string& line) { return line.find(words) != std::string::npos; });
    };
    EXPECT_TRUE(said("scripts")) << ::testing::PrintToString(result.removed);
    EXPECT_TRUE(said(cache.string()));
    // The folder made again to give the scripts back is as private as the one the first start made.
    EXPECT_EQ(std::filesystem::status(data).permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_all);
}

TEST_F(ResetAppDataTest, TheTrashHoldsTheStoreAsItWasWithItsHistory)
{
    const auto storePath = data / "defaults.sqlite3";
    auto fileSuite = std::make_shared<platform::UserDefaults>(
        platform::DefaultsDatabase::open(storePath.string()), platform::UserDefaults::standardSuiteName);
    const std::string history = R"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"}])";
    ASSERT_TRUE(fileSuite->setObject(PropertyList(history), "sessions"));
    ASSERT_TRUE(fileSuite->setObject(PropertyList(12), "ZK_launchCount"));
    // The lock this instance holds by name: a relaunched instance waits for it where it is.
    std::ofstream(data / "defaults.sqlite3.instance-lock") << "4242\n";

    ResetEnvironment environment;
    environment.suite = fileSuite;
    environment.isSandboxed = false;
    environment.loginItems = &loginItems;
    const ResetResult result = resetAppData(environment);
    EXPECT_TRUE(result.succeeded()) << (result.failures.empty() ? "" : result.failures[0]);
    // The next launch finds no store, so it is a first launch.
    EXPECT_FALSE(std::filesystem::exists(storePath));
    // Nothing this process writes afterwards reaches the copy in the Trash.
    fileSuite->setObject(PropertyList(13), "ZK_launchCount");

    const auto trashed = std::filesystem::path(folder.path().toStdString()) / "XDG_DATA_HOME" / "Trash"
        / "files" / "kiruvo" / "defaults.sqlite3";
    ASSERT_TRUE(std::filesystem::exists(trashed));
    const auto copy = platform::DefaultsDatabase::open(trashed.string());
    const auto sessions = copy->value(platform::UserDefaults::standardSuiteName, "sessions");
    ASSERT_TRUE(sessions);
    EXPECT_EQ(*sessions, PropertyList(history));
    const auto count = copy->value(platform::UserDefaults::standardSuiteName, "ZK_launchCount");
    ASSERT_TRUE(count);
    EXPECT_EQ(*count, PropertyList(12));
    EXPECT_TRUE(std::filesystem::exists(data / "defaults.sqlite3.instance-lock"));
    EXPECT_FALSE(std::filesystem::exists(trashed.parent_path() / "defaults.sqlite3.instance-lock"));
}

TEST_F(ResetAppDataTest, TheLoginItemTheApplicationMadeIsSwitchedOff)
{
    loginItems.currentStatus = platform::LoginItemService::Status::enabled;
    const ResetResult result = resetAppData(recordingEnvironment());
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(loginItems.status(), platform::LoginItemService::Status::notRegistered);
    EXPECT_EQ(loginItems.calls(),
        std::vector<platform::fake::FakeLoginItemService::Call> {
            platform::fake::FakeLoginItemService::Call::unregisterApp });

    // One that is off already is not touched.
    const ResetResult again = resetAppData(recordingEnvironment());
    EXPECT_EQ(loginItems.calls().size(), 1u);
}

TEST_F(ResetAppDataTest, AReadOnlyDataFolderIsShownBeforeTheRelaunchAndNothingIsReportedDone)
{
    // Renaming a folder needs write access to it, which root has everywhere; a Trash that cannot
    // be made stops root as well.
    std::filesystem::permissions(
        data, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::ofstream(std::filesystem::path(folder.path().toStdString()) / "XDG_DATA_HOME" / "Trash")
        << "not a folder";
    ResetEnvironment unsandboxed;
    unsandboxed.isSandboxed = false;
    const ResetResult result = resetAppData(unsandboxed);
    std::filesystem::permissions(data, std::filesystem::perms::owner_all);
    ASSERT_FALSE(result.succeeded());
    EXPECT_NE(result.failures[0].find(data.string()), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(data / "history.json"));
    EXPECT_TRUE(std::filesystem::exists(cache / "icons"));
    // Nothing went anywhere else instead (Qt's last resort is the working directory).
    EXPECT_FALSE(QDir::current().exists(QStringLiteral("files/kiruvo")));

    answers = { 0 };
    relaunchTellingResetFailures(result, false, false);
    ASSERT_TRUE(settle([&] { return relaunches > 0; }));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "Not all data could be deleted");
    EXPECT_EQ(alertMessages[0].find("deleted"), std::string::npos);
}

TEST_F(ResetAppDataTest, FailuresAreShownAndWaitedForBeforeTheRelaunch)
{
    answers = { 0 };
    relaunchTellingResetFailures(resetAppData(recordingEnvironment(data)), false, false);
    ASSERT_TRUE(settle([&] { return relaunches > 0; }));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], "Not all data could be deleted");
    EXPECT_EQ(relaunches, 1);
    // A normal termination of the old instance, not an immediate exit.
    EXPECT_TRUE(settle([&] { return terminations > 0; }));
    EXPECT_EQ(exits, 0);
}

TEST_F(ResetAppDataTest, ACompleteResetRelaunchesWithoutAnAlert)
{
    relaunchTellingResetFailures(resetAppData(recordingEnvironment()), false, false);
    ASSERT_TRUE(settle([&] { return relaunches > 0 && terminations > 0; }));
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(exits, 0);
}
