#include "app/startup/SingleInstance.h"
#include "app/startup/AppMain.h"

#include <QAction>
#include <QCoreApplication>
#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

using kiruvo::AppMain;
using kiruvo::SingleInstance;
using namespace std::chrono_literals;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }

    QString lockPath() const
    {
        return m_folder.filePath(QStringLiteral("data/defaults.sqlite3.instance-lock"));
    }

    // The pid of a process that has ended and been reaped.
    static qint64 deadPid()
    {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(0);
        }
        EXPECT_GT(child, 0);
        int status = 0;
        ::waitpid(child, &status, 0);
        return child;
    }

    QTemporaryDir m_folder;
};

TEST_F(SingleInstanceTest, OnlyOneHolderAtATimeAndTheLockPassesOnAfterRelease)
{
    SingleInstance first(lockPath());
    SingleInstance second(lockPath());

    ASSERT_TRUE(first.tryAcquire()); // creates the missing folder
    EXPECT_TRUE(first.isHeld());
    EXPECT_TRUE(first.tryAcquire()); // asking again keeps it
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_FALSE(second.isHeld());
    EXPECT_TRUE(second.lastFailure().contains(QString::number(QCoreApplication::applicationPid())))
        << second.lastFailure().toStdString();

    first.release();
    EXPECT_FALSE(first.isHeld());
    EXPECT_TRUE(second.tryAcquire());
    EXPECT_FALSE(first.tryAcquire());
}

TEST_F(SingleInstanceTest, DestroyingTheHolderReleasesTheLock)
{
    {
        SingleInstance holder(lockPath());
        ASSERT_TRUE(holder.tryAcquire());
    }
    SingleInstance next(lockPath());
    EXPECT_TRUE(next.tryAcquire());
}

TEST_F(SingleInstanceTest, ALockLeftByADeadProcessIsTakenOver)
{
    // Write a lock exactly as a holder writes it, then hand it to a process that no longer runs.
    QByteArray contents;
    {
        SingleInstance holder(lockPath());
        ASSERT_TRUE(holder.tryAcquire());
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        contents = file.readAll();
    }
    const qsizetype lineEnd = contents.indexOf('\n');
    ASSERT_GT(lineEnd, 0);
    contents.replace(0, lineEnd, QByteArray::number(deadPid()));
    {
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    SingleInstance next(lockPath());
    EXPECT_TRUE(next.tryAcquire()) << next.lastFailure().toStdString();
}

TEST_F(SingleInstanceTest, ALiveHoldersLockIsNeverStaleHoweverOld)
{
    SingleInstance holder(lockPath());
    ASSERT_TRUE(holder.tryAcquire());
    {
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(
            QDateTime::currentDateTimeUtc().addDays(-30), QFileDevice::FileModificationTime));
    }
    SingleInstance other(lockPath());
    EXPECT_FALSE(other.tryAcquire());
    EXPECT_TRUE(holder.isHeld());
}

TEST_F(SingleInstanceTest, WaitingGivesUpAtTheTimeoutWithoutSleeping)
{
    SingleInstance holder(lockPath());
    ASSERT_TRUE(holder.tryAcquire());

    auto now = SingleInstance::Clock::time_point {};
    std::vector<std::chrono::milliseconds> pauses;
    SingleInstance::WaitOptions options;
    options.timeout = 10s;
    options.retryInterval = 300ms;
    options.now = [&] { return now; };
    options.pause = [&](std::chrono::milliseconds interval) {
        pauses.push_back(interval);
        now += interval;
    };

    SingleInstance waiting(lockPath());
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(waiting.acquireWaiting(options));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    // 33 pauses of 300 ms and a last one of 100 ms end exactly at the timeout, where the last try is.
    ASSERT_EQ(pauses.size(), 34U);
    EXPECT_EQ(pauses.front(), 300ms);
    EXPECT_EQ(pauses.back(), 100ms);
    EXPECT_EQ(now - SingleInstance::Clock::time_point {}, 10s);
    EXPECT_FALSE(waiting.isHeld());
}

TEST_F(SingleInstanceTest, WaitingTakesTheLockOnceTheOldInstanceLetsGo)
{
    SingleInstance holder(lockPath());
    ASSERT_TRUE(holder.tryAcquire());

    auto now = SingleInstance::Clock::time_point {};
    int tries = 0;
    SingleInstance::WaitOptions options;
    options.now = [&] { return now; };
    options.pause = [&](std::chrono::milliseconds interval) {
        now += interval;
        if (++tries == 3) {
            holder.release();
        }
    };

    SingleInstance waiting(lockPath());
    EXPECT_TRUE(waiting.acquireWaiting(options));
    EXPECT_TRUE(waiting.isHeld());
    EXPECT_EQ(now - SingleInstance::Clock::time_point {}, 300ms);
}

TEST_F(SingleInstanceTest, TheLockLivesBesideTheDatabaseOrInTheRuntimeFolder)
{
    EXPECT_EQ(SingleInstance::lockFilePathFor("/home/u/.local/share/kiruvo/defaults.sqlite3"),
        QStringLiteral("/home/u/.local/share/kiruvo/defaults.sqlite3.instance-lock"));

    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
    EXPECT_EQ(SingleInstance::lockFilePathFor(":memory:"),
        QStringLiteral("/run/user/1000/kiruvo/kiruvo.instance-lock"));
    // A relative runtime folder is no folder of ours.
    qputenv("XDG_RUNTIME_DIR", "relative");
    const QString fallback = SingleInstance::lockFilePathFor(":memory:");
    EXPECT_TRUE(fallback.startsWith(
        QDir::tempPath() + QStringLiteral("/kiruvo-") + QString::number(::getuid()) + '/'))
        << fallback.toStdString();
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstance::lockFilePathFor(":memory:"), fallback);
    if (!savedRuntime.isEmpty()) {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
    }
}

// --- What a launch does when the lock is taken

TEST_F(SingleInstanceTest, APlainLaunchOfAFreeLockGoesOn)
{
    SingleInstance instance(lockPath());
    int requests = 0;
    AppMain::InstanceEnvironment environment;
    environment.requestOpenMenu = [&](QString*) -> QCoro::Task<bool> { co_return ++requests > 0; };
    environment.isNameTakenOnBus = []() -> QCoro::Task<bool> { co_return false; };
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(instance, {}, environment)), std::nullopt);
    EXPECT_TRUE(instance.isHeld());
    EXPECT_EQ(requests, 0);
}

TEST_F(SingleInstanceTest, AnInstanceOverOtherSettingsInTheSameSessionTakesTheLaunch)
{
    // Another XDG_DATA_HOME: this launch's lock is free, but the bus name is held.
    SingleInstance instance(lockPath());
    int requests = 0;
    std::vector<QString> told;
    AppMain::InstanceEnvironment environment;
    environment.requestOpenMenu = [&](QString*) -> QCoro::Task<bool> { co_return ++requests > 0; };
    environment.tellUser = [&](const QString& message) { told.push_back(message); };
    environment.isNameTakenOnBus = []() -> QCoro::Task<bool> { co_return true; };
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(instance, {}, environment)), 0);
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(told.empty());
    // The lock is let go, so this launch's database is not kept from the instance that uses it.
    EXPECT_FALSE(instance.isHeld());
    SingleInstance other(lockPath());
    EXPECT_TRUE(other.tryAcquire());
}

TEST_F(SingleInstanceTest, ASecondPlainLaunchHandsOverAndExitsZero)
{
    SingleInstance running(lockPath());
    ASSERT_TRUE(running.tryAcquire());

    int requests = 0;
    std::vector<QString> told;
    AppMain::InstanceEnvironment environment;
    environment.requestOpenMenu = [&](QString*) -> QCoro::Task<bool> {
        ++requests;
        co_return true;
    };
    environment.tellUser = [&](const QString& message) { told.push_back(message); };
    environment.isNameTakenOnBus = []() -> QCoro::Task<bool> { co_return true; };

    SingleInstance second(lockPath());
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(second, {}, environment)), 0);
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(second.isHeld());

    // The running instance does not answer: the user is told why, and the launch still ends well.
    environment.requestOpenMenu = [&](QString* error) -> QCoro::Task<bool> {
        *error = QStringLiteral("no reply");
        co_return false;
    };
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(second, {}, environment)), 0);
    ASSERT_EQ(told.size(), 1U);
    EXPECT_TRUE(told[0].contains(QStringLiteral("no reply"))) << told[0].toStdString();
}

TEST_F(SingleInstanceTest, TheLaunchIsDecidedOnlyOnceTheBusHasSaidWhetherTheNameIsTaken)
{
    for (const bool taken : { false, true }) {
        SCOPED_TRACE(taken ? "the name is taken" : "the name is free");
        SingleInstance instance(lockPath());
        // The bus's answer, told by a public signal: QCoro passes a private signal's tag on as a null
        // reference.
        QAction bus;
        int requests = 0;
        AppMain::InstanceEnvironment environment;
        environment.requestOpenMenu = [&](QString*) -> QCoro::Task<bool> { co_return ++requests > 0; };
        environment.isNameTakenOnBus = [&]() -> QCoro::Task<bool> {
            co_await qCoro(&bus, &QAction::triggered);
            co_return taken;
        };
        std::optional<std::optional<int>> outcome;
        const auto claim = [&]() -> QCoro::Task<void> {
            outcome = co_await AppMain::claimInstance(instance, {}, environment);
        };
        QCoro::Task<void> claiming = claim();
        QCoreApplication::processEvents();
        // Until the answer this launch neither goes on nor hands over.
        EXPECT_FALSE(outcome.has_value());
        EXPECT_EQ(requests, 0);

        bus.trigger();
        QCoro::waitFor(std::move(claiming));
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(*outcome, taken ? std::optional<int>(0) : std::nullopt);
        EXPECT_EQ(requests, taken ? 1 : 0);
        EXPECT_EQ(instance.isHeld(), !taken);
    }
}

TEST_F(SingleInstanceTest, ALockFileThatCannotBeMadeIsNoOtherInstance)
{
    // A file where the data folder should be: no lock file can be made there, not even by root.
    QFile blocker(m_folder.filePath(QStringLiteral("data")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    int requests = 0;
    std::vector<QString> told;
    std::vector<QString> inMemory;
    bool nameOwned = false;
    AppMain::InstanceEnvironment environment;
    environment.requestOpenMenu = [&](QString*) -> QCoro::Task<bool> { co_return ++requests > 0; };
    environment.tellUser = [&](const QString& message) { told.push_back(message); };
    environment.isNameTakenOnBus = [&]() -> QCoro::Task<bool> { co_return nameOwned; };
    environment.keepStoreInMemory = [&](const QString& message) { inMemory.push_back(message); };

    SingleInstance instance(lockPath());
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(instance, {}, environment)), std::nullopt);
    EXPECT_FALSE(instance.isHeld());
    EXPECT_FALSE(instance.isHeldElsewhere());
    EXPECT_EQ(requests, 0);
    ASSERT_EQ(inMemory.size(), 1U);
    ASSERT_EQ(told.size(), 1U);
    EXPECT_TRUE(told[0].contains(QStringLiteral("will not be kept"))) << told[0].toStdString();

    // A relaunch does not wait ten seconds for a lock that nobody holds.
    AppMain::Arguments relaunch;
    relaunch.waitForInstanceLock = true;
    auto now = SingleInstance::Clock::time_point {};
    environment.wait.now = [&] { return now; };
    environment.wait.pause = [&](std::chrono::milliseconds interval) { now += interval; };
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(instance, relaunch, environment)), std::nullopt);
    EXPECT_EQ(inMemory.size(), 2U);

    // Another instance that owns the bus name is still found, and handed over to.
    nameOwned = true;
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(instance, {}, environment)), 0);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(inMemory.size(), 2U);
}

TEST_F(SingleInstanceTest, ALockHeldByAnotherInstanceIsToldApartFromOneThatCannotBeMade)
{
    SingleInstance running(lockPath());
    ASSERT_TRUE(running.tryAcquire());
    SingleInstance second(lockPath());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_TRUE(second.isHeldElsewhere());
    running.release();
    EXPECT_TRUE(second.tryAcquire());
    EXPECT_FALSE(second.isHeldElsewhere());
}

TEST_F(SingleInstanceTest, ARelaunchWaitsInsteadOfHandingOverAndFailsWhenTheOldOneStays)
{
    SingleInstance running(lockPath());
    ASSERT_TRUE(running.tryAcquire());

    auto now = SingleInstance::Clock::time_point {};
    int requests = 0;
    std::vector<QString> told;
    AppMain::InstanceEnvironment environment;
    environment.wait.now = [&] { return now; };
    environment.wait.pause = [&](std::chrono::milliseconds interval) { now += interval; };
    environment.requestOpenMenu = [&](QString*) -> QCoro::Task<bool> { co_return ++requests > 0; };
    environment.tellUser = [&](const QString& message) { told.push_back(message); };

    AppMain::Arguments arguments;
    arguments.waitForInstanceLock = true;
    SingleInstance relaunched(lockPath());
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(relaunched, arguments, environment)), 1);
    EXPECT_EQ(now - SingleInstance::Clock::time_point {}, 10s);
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(told.size(), 1U);

    running.release();
    now = {};
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(relaunched, arguments, environment)), std::nullopt);
    EXPECT_TRUE(relaunched.isHeld());
}

TEST(AppMainArguments, OnlyTheRelaunchFlagAfterTheProgramCounts)
{
    EXPECT_FALSE(AppMain::parseArguments({ QStringLiteral("kiruvo") }).waitForInstanceLock);
    EXPECT_TRUE(
        AppMain::parseArguments({ QStringLiteral("kiruvo"), QStringLiteral("--wait-for-instance-lock") })
            .waitForInstanceLock);
    EXPECT_FALSE(AppMain::parseArguments({ QStringLiteral("--wait-for-instance-lock") }).waitForInstanceLock);
    EXPECT_FALSE(
        AppMain::parseArguments({ QStringLiteral("kiruvo"), QStringLiteral("--wait-for-instance-lock=1") })
            .waitForInstanceLock);
}

} // namespace
