#include "kit/foundation/RunOnce.h"

#include "platform/store/DefaultsDatabase.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using platform::UserDefaults;

class RunOnceTest : public ::testing::Test {
protected:
    std::shared_ptr<platform::DefaultsDatabase> database = platform::DefaultsDatabase::open(":memory:");
    std::shared_ptr<UserDefaults> suite = std::make_shared<UserDefaults>(database, "com.zelvantorium.Kiruvo");

    // The same database as a later launch sees it: a new suite object, nothing registered.
    std::shared_ptr<UserDefaults> nextLaunch()
    {
        return std::make_shared<UserDefaults>(database, "com.zelvantorium.Kiruvo");
    }
};

TEST_F(RunOnceTest, AnswersTrueExactlyOncePerIdentifierAcrossLaunches)
{
    EXPECT_TRUE(zk::runOnce("migrateToDefaultsv5", suite));
    EXPECT_FALSE(zk::runOnce("migrateToDefaultsv5", suite));
    EXPECT_FALSE(zk::runOnce("migrateToDefaultsv5", suite));
    EXPECT_TRUE(zk::runOnce("historyWelcomeMessage", suite));

    auto later = nextLaunch();
    EXPECT_FALSE(zk::runOnce("migrateToDefaultsv5", later));
    EXPECT_FALSE(zk::runOnce("historyWelcomeMessage", later));
    EXPECT_TRUE(zk::runOnce("disableButtonInfoMessage", later));

    auto stored = later->objectForKey("ZK_App_runOnce__migrateToDefaultsv5");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->getIf<bool>() ? *stored->getIf<bool>() : false, true);
}

TEST_F(RunOnceTest, ResetOfTheSettingsRunsTheWorkAgain)
{
    EXPECT_TRUE(zk::runOnce("x", suite));
    suite->removeAll();
    EXPECT_TRUE(zk::runOnce("x", suite));
}

TEST_F(RunOnceTest, AFlagThatIsNoBooleanDoesNotCountAsDone)
{
    suite->setObject(platform::PropertyList(std::string("yes")), zk::runOnceKey("x"));
    EXPECT_FALSE(zk::hasRunOnce("x", suite));
    EXPECT_TRUE(zk::runOnce("x", suite));
    EXPECT_TRUE(zk::hasRunOnce("x", suite));
}

TEST_F(RunOnceTest, MigrationThatThrowsIsRetriedAndOnlyCompletedOnce)
{
    int attempts = 0;
    auto failing = [&] {
        ++attempts;
        throw std::runtime_error("disk full");
    };
    EXPECT_THROW(zk::runOnce("migrateShowDurationInMenuBarSetting", failing, suite), std::runtime_error);
    EXPECT_FALSE(zk::hasRunOnce("migrateShowDurationInMenuBarSetting", suite));

    // The next launch tries again; this time the work completes.
    auto later = nextLaunch();
    bool migrated = false;
    EXPECT_TRUE(zk::runOnce(
        "migrateShowDurationInMenuBarSetting", [&] { migrated = true; }, later));
    EXPECT_TRUE(migrated);
    EXPECT_EQ(attempts, 1);

    migrated = false;
    EXPECT_FALSE(zk::runOnce(
        "migrateShowDurationInMenuBarSetting", [&] { migrated = true; }, later));
    EXPECT_FALSE(migrated);
}

TEST_F(RunOnceTest, TheTwoFormsShareOneFlag)
{
    EXPECT_TRUE(zk::runOnce("x", suite));
    bool ran = false;
    EXPECT_FALSE(zk::runOnce(
        "x", [&] { ran = true; }, suite));
    EXPECT_FALSE(ran);
}

} // namespace
