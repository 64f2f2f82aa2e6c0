#include "app/startup/SingleInstance.h"
#include "app/startup/AppMain.h"
#include "platform/store/DefaultsDatabase.h"
#include "support/OtherUsersFolder.h"

#include <QAction>
#include <QCoreApplication>
#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using kiruvo::AppMain;
using kiruvo::SingleInstance;
using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_folder.filePath(QStringLiteral("runtime")).toLocal8Bit());
    }
    void TearDown() override
    {
        if (m_savedRuntime.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", m_savedRuntime);
        }
    }

    QString lockPath() const
    {
        return m_folder.filePath(QStringLiteral("data/defaults.sqlite3.instance-lock"));
    }
    QString databasePath() const { return m_folder.filePath(QStringLiteral("data/defaults.sqlite3")); }
    fs::path folder() const { return fs::path(m_folder.path().toStdString()); }

    static unsigned modeOf(const QString& path)
    {
        struct stat status { };
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
        return status.st_mode & 07777;
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
    QByteArray m_savedRuntime;
};

// A small file system of its own that is full, where one can be mounted (as root); elsewhere the
// limit on the size of files this process writes stands in for it, which refuses every byte.
class FullDisk {
public:
    explicit FullDisk(const fs::path& folder)
        : m_folder(folder)
    {
        fs::create_directories(folder);
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k,mode=0700") == 0;
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    ~FullDisk()
    {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        } else if (m_limited) {
            ::setrlimit(RLIMIT_FSIZE, &m_savedLimit);
            std::signal(SIGXFSZ, m_savedHandler);
        }
    }

    // No byte more can be written from now on.
    void fill()
    {
        if (m_mounted) {
            std::ofstream filler(m_folder / "filler", std::ios::binary);
            const std::string block(1024, 'x');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) { }
            return;
        }
        m_limited = ::getrlimit(RLIMIT_FSIZE, &m_savedLimit) == 0;
        rlimit none = m_savedLimit;
        none.rlim_cur = 0;
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &none);
    }

private:
    fs::path m_folder;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_savedLimit {};
    void (*m_savedHandler)(int) = SIG_DFL;
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

TEST_F(SingleInstanceTest, ALockLeftByADeadProcessIsTakenOverEvenOnAFullDisk)
{
    FullDisk disk(folder() / "data");
    // What a crashed holder leaves: its note, naming a process that no longer runs, in a file an
    // earlier version made readable by everyone.
    {
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(deadPid()) + "\nkiruvo\n");
    }
    ASSERT_TRUE(QFile::setPermissions(lockPath(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    disk.fill();

    SingleInstance next(lockPath(), databasePath());
    EXPECT_TRUE(next.tryAcquire()) << next.lastFailure().toStdString();
    EXPECT_EQ(modeOf(lockPath()), 0600U);
    SingleInstance other(lockPath(), databasePath());
    EXPECT_FALSE(other.tryAcquire());
    EXPECT_TRUE(other.isHeldElsewhere());
}

TEST_F(SingleInstanceTest, TheLockIsTheFilesWhateverPathReachesIt)
{
    // A folder reached through a link, and a second name of the file itself in another folder.
    const fs::path data = folder() / "data";
    fs::create_directories(data);
    fs::create_directory_symlink(data, folder() / "linked");
    fs::create_directories(folder() / "elsewhere");
    const QString linked = m_folder.filePath(QStringLiteral("linked/defaults.sqlite3"));
    const QString hardLinked = m_folder.filePath(QStringLiteral("elsewhere/kiruvo.sqlite3"));
    const auto instanceOver = [](const QString& database) {
        return std::make_unique<SingleInstance>(database + QStringLiteral(".instance-lock"), database);
    };

    // The first holder finds no file yet: the store makes it once the lock is held, and the second
    // name is made after that.
    auto holder = instanceOver(databasePath());
    ASSERT_TRUE(holder->tryAcquire()) << holder->lastFailure().toStdString();
    std::ofstream(data / "defaults.sqlite3", std::ios::app).close();
    fs::create_hard_link(data / "defaults.sqlite3", folder() / "elsewhere" / "kiruvo.sqlite3");
    for (const QString& other : { linked, hardLinked }) {
        SCOPED_TRACE(other.toStdString());
        auto second = instanceOver(other);
        EXPECT_FALSE(second->tryAcquire());
        EXPECT_TRUE(second->isHeldElsewhere());
        EXPECT_TRUE(second->lastFailure().contains(QString::number(QCoreApplication::applicationPid())))
            << second->lastFailure().toStdString();
    }

    // Held through the second name, the first is taken as well; and once let go, it is free.
    holder.reset();
    auto throughLink = instanceOver(hardLinked);
    ASSERT_TRUE(throughLink->tryAcquire()) << throughLink->lastFailure().toStdString();
    EXPECT_FALSE(instanceOver(databasePath())->tryAcquire());
    throughLink.reset();
    EXPECT_TRUE(instanceOver(databasePath())->tryAcquire());
}

// The data folder deleted and made again while the holder runs takes the lock file and the
// database file with it: a second launch over the same path still meets the holder.
TEST_F(SingleInstanceTest, TheLockOutlivesTheDataFolderMadeAgain)
{
    const fs::path data = folder() / "data";
    fs::create_directories(data);
    SingleInstance holder(lockPath(), databasePath());
    ASSERT_TRUE(holder.tryAcquire()) << holder.lastFailure().toStdString();
    fs::remove_all(data);
    fs::create_directories(data);

    SingleInstance second(lockPath(), databasePath());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_TRUE(second.isHeldElsewhere());
    holder.release();
    EXPECT_TRUE(second.tryAcquire()) << second.lastFailure().toStdString();
}

// Another login reaches the same file through another name with a runtime folder of its own, or
// none: the lock is the file's, so that launch meets the holder all the same.
TEST_F(SingleInstanceTest, TheFilesLockHoldsWhateverRuntimeFolderTheOtherLoginHas)
{
    fs::create_directories(folder() / "data");
    fs::create_directories(folder() / "elsewhere");
    auto holder = std::make_unique<SingleInstance>(lockPath(), databasePath());
    ASSERT_TRUE(holder->tryAcquire()) << holder->lastFailure().toStdString();
    fs::create_hard_link(databasePath().toStdString(), folder() / "elsewhere" / "kiruvo.sqlite3");
    const QString hardLinked = m_folder.filePath(QStringLiteral("elsewhere/kiruvo.sqlite3"));

    for (const bool unset : { false, true }) {
        SCOPED_TRACE(unset ? "no runtime folder" : "another runtime folder");
        if (unset) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", m_folder.filePath(QStringLiteral("other-login")).toLocal8Bit());
        }
        SingleInstance second(hardLinked + QStringLiteral(".instance-lock"), hardLinked);
        EXPECT_FALSE(second.tryAcquire());
        EXPECT_TRUE(second.isHeldElsewhere());
    }
    holder.reset();
    SingleInstance next(hardLinked + QStringLiteral(".instance-lock"), hardLinked);
    EXPECT_TRUE(next.tryAcquire()) << next.lastFailure().toStdString();
}

TEST_F(SingleInstanceTest, TakingTheLockLeavesTheStoresOwnLocksOnTheFile)
{
    // Settings are read before the lock is taken: the store has the file open.
    fs::create_directories(folder() / "data");
    auto database = platform::DefaultsDatabase::open(databasePath().toStdString());
    ASSERT_TRUE(database->setValue("s", "k", 1));
    SingleInstance instance(lockPath(), databasePath());
    ASSERT_TRUE(instance.tryAcquire()) << instance.lastFailure().toStdString();

    // Another program reads the file and lets go of it; the store's next write still goes in.
    QProcess tool;
    tool.start(
        QStringLiteral("sqlite3"), { databasePath(), QStringLiteral("SELECT count(*) FROM defaults") });
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    ASSERT_TRUE(database->setValue("s", "k", 2));
    database->close();
    EXPECT_EQ(*platform::DefaultsDatabase::open(databasePath().toStdString())->value("s", "k"),
        platform::PropertyList(2));
}

TEST_F(SingleInstanceTest, AFolderOfAnotherUsersIsNoPlaceForTheLock)
{
    const fs::path others = otherUsersFolder(folder());
    ASSERT_FALSE(others.empty());
    fs::create_directory_symlink(others, folder() / "linked");
    for (const QString& database : { QString::fromStdString((others / "defaults.sqlite3").string()),
             m_folder.filePath(QStringLiteral("linked/defaults.sqlite3")) }) {
        SCOPED_TRACE(database.toStdString());
        SingleInstance instance(database + QStringLiteral(".instance-lock"), database);
        EXPECT_FALSE(instance.tryAcquire());
        EXPECT_FALSE(instance.isHeldElsewhere());
        EXPECT_TRUE(instance.lastFailure().contains(QStringLiteral("belongs to another user")))
            << instance.lastFailure().toStdString();
    }
    if (others != "/") {
        EXPECT_TRUE(fs::is_empty(others)) << "nothing was made in it";
    }
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
    EXPECT_EQ(now, SingleInstance::Clock::time_point {});
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

TEST_F(SingleInstanceTest, ARelaunchWaitsOnceBeforeTheSettingsAreOpenedAndSaysHowLong)
{
    SingleInstance running(lockPath());
    ASSERT_TRUE(running.tryAcquire());

    auto now = SingleInstance::Clock::time_point {};
    std::vector<QString> told;
    AppMain::InstanceEnvironment environment;
    environment.wait.now = [&] { return now; };
    environment.wait.pause = [&](std::chrono::milliseconds interval) { now += interval; };
    environment.tellUser = [&](const QString& message) { told.push_back(message); };

    AppMain::Arguments arguments;
    arguments.waitForInstanceLock = true;
    SingleInstance relaunched(lockPath());
    EXPECT_TRUE(AppMain::keepStoreOutUnlessLocked(relaunched, arguments, environment.wait));
    EXPECT_EQ(QCoro::waitFor(AppMain::claimInstance(relaunched, arguments, environment)), 1);
    EXPECT_EQ(now - SingleInstance::Clock::time_point {}, 10s);
    ASSERT_EQ(told.size(), 1U);
    EXPECT_TRUE(told[0].contains(QStringLiteral("after 10.0 s of waiting"))) << told[0].toStdString();
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
