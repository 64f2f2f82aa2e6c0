#include "platform/linux/ClockChangeWatch.h"
#include "platform/linux/MachineZoneFile.h"
#include "platform/time/Clock.h"
#include "platform/time/TimeZone.h"
#include "support/TryWithTimeout.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sys/timerfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

using platform::ClockChangeWatch;
using platform::TimeZone;

namespace {

// The real timer file and file watches; where only root could set the clock, the test answers
// the timer's read for the kernel. A folder of the test's stands for /etc, and another for the
// zone database, whose files differ by their contents alone. The machine's zone and TZ are put
// back as they were.
class ClockChangeWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* tz = std::getenv("TZ")) {
            m_tz = tz;
        }
        ::unsetenv("TZ");
        TimeZone::setCurrentForTesting(std::nullopt);
        m_machineZone = TimeZone::current();
        ASSERT_TRUE(m_folder.isValid());
        std::filesystem::create_directories(path("etc"));
        for (const char* zone :
            { "Europe/Oslo", "Asia/Tokyo", "Pacific/Kiritimati", "America/Argentina/Buenos_Aires" }) {
            writeFile(database(zone), contentsOf(zone));
        }
        // Two names for one zone, as the database has them (files of the same contents).
        writeFile(database("Europe/Berlin"), contentsOf("Europe/Oslo"));
    }

    void TearDown() override
    {
        TimeZone::adoptMachineZone(m_machineZone);
        if (m_tz) {
            ::setenv("TZ", m_tz->c_str(), 1);
        }
    }

    std::string path(const std::string& name) const
    {
        return m_folder.filePath(QString::fromStdString(name)).toStdString();
    }
    std::string database(const std::string& zone) const { return path("zoneinfo/" + zone); }
    platform::MachineZoneFile::Paths zonePaths() const { return { path("etc/localtime"), path("zoneinfo") }; }
    ClockChangeWatch::Options options() const
    {
        ClockChangeWatch::Options result;
        result.zonePaths = zonePaths();
        return result;
    }

    static std::string contentsOf(const std::string& zone) { return "TZif2 stand-in for " + zone + "\n"; }
    // Writes the file in place, as `cp` and an editor writing over a file do.
    static void writeFile(const std::string& file, const std::string& text)
    {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    }

    // Points the zone file at `target`, replacing it as timedated does.
    void linkZoneFile(const std::string& target)
    {
        std::filesystem::create_symlink(target, path("etc/localtime.new"));
        std::filesystem::rename(path("etc/localtime.new"), path("etc/localtime"));
    }
    void linkZone(const std::string& zone) { linkZoneFile(database(zone)); }

    // Seconds until the timer file expires; 0 when it is not armed.
    static double secondsAhead(int fd)
    {
        itimerspec armed {};
        ::timerfd_gettime(fd, &armed);
        return double(armed.it_value.tv_sec) + double(armed.it_value.tv_nsec) / 1e9;
    }

    // Makes the timer file readable at once, as an expiry or a cancel does.
    static void expireNow(int fd)
    {
        itimerspec past {};
        past.it_value.tv_sec = 1;
        ASSERT_EQ(::timerfd_settime(fd, TFD_TIMER_ABSTIME, &past, nullptr), 0);
    }

    QTemporaryDir m_folder;
    std::optional<std::string> m_tz;
    TimeZone m_machineZone = TimeZone::utc();
};

} // namespace

TEST_F(ClockChangeWatchTest, AClockSetIsToldAndTheTimerWaitsAgain)
{
    int changes = 0;
    // What the kernel answers: ECANCELED after the clock was set; else the expirations.
    bool clockWasSet = false;
    ClockChangeWatch::Options options = this->options();
    options.readTimer = [&](int fd, std::uint64_t* expirations) -> ssize_t {
        const ssize_t read = ::read(fd, expirations, sizeof *expirations);
        if (read > 0 && std::exchange(clockWasSet, false)) {
            errno = ECANCELED;
            return -1;
        }
        return read;
    };
    ClockChangeWatch watch([&] { ++changes; }, options);
    ASSERT_GE(watch.timerFile(), 0);
    EXPECT_GT(secondsAhead(watch.timerFile()), 300 * 24 * 3600.0) << "armed far ahead, to be cancelled";

    clockWasSet = true;
    expireNow(watch.timerFile());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(changes, 1, 5000);
    EXPECT_GT(secondsAhead(watch.timerFile()), 300 * 24 * 3600.0);

    // An expiry (a clock running on into the far moment) tells nothing and waits again.
    expireNow(watch.timerFile());
    KIRUVO_TRY_VERIFY_WITH_TIMEOUT(secondsAhead(watch.timerFile()) > 300 * 24 * 3600.0, 5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);
}

TEST_F(ClockChangeWatchTest, ANewZoneFileIsTheMachinesZoneBeforeItIsTold)
{
    linkZone("Europe/Oslo");
    TimeZone::adoptMachineZone(*TimeZone::withIdentifier("Europe/Oslo"));
    std::vector<std::string> told;
    ClockChangeWatch watch([&] { told.push_back(TimeZone::current().identifier()); }, options());
    ASSERT_TRUE(watch.watchesZone());

    linkZone("Pacific/Kiritimati");
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told, std::vector<std::string> { "Pacific/Kiritimati" }, 5000);
    EXPECT_EQ(TimeZone::current().identifier(), "Pacific/Kiritimati");

    // The same zone again, a file that names none and another file of the folder change nothing:
    // the next zone is the next one told.
    linkZone("Pacific/Kiritimati");
    std::filesystem::remove(path("etc/localtime"));
    writeFile(path("etc/other"), "x");
    linkZone("Asia/Tokyo");
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), 2u, 5000);
    EXPECT_EQ(told, (std::vector<std::string> { "Pacific/Kiritimati", "Asia/Tokyo" }));
}

TEST_F(ClockChangeWatchTest, AZoneFileWrittenOverInPlaceIsFollowed)
{
    writeFile(path("etc/localtime"), contentsOf("Europe/Oslo"));
    writeFile(path("etc/timezone"), "Europe/Oslo\n");
    TimeZone::adoptMachineZone(*TimeZone::withIdentifier("Europe/Oslo"));
    std::vector<std::string> told;
    ClockChangeWatch watch([&] { told.push_back(TimeZone::current().identifier()); }, options());

    writeFile(path("etc/timezone"), "Asia/Tokyo\n");
    writeFile(path("etc/localtime"), contentsOf("Asia/Tokyo"));
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told, std::vector<std::string> { "Asia/Tokyo" }, 5000);
    // And again, now that the files have been written over once.
    writeFile(path("etc/localtime"), contentsOf("Pacific/Kiritimati"));
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), 2u, 5000);
    EXPECT_EQ(told.back(), "Pacific/Kiritimati");
}

TEST_F(ClockChangeWatchTest, TheZoneIsTheOneTheCLibraryReadsWhateverTheNameBesideItSays)
{
    // A copy of Tokyo's zone, and a name beside it left from before, which the time zone library
    // went by at its start.
    writeFile(path("etc/localtime"), contentsOf("Asia/Tokyo"));
    writeFile(path("etc/timezone"), "Europe/Oslo\n");
    TimeZone::adoptMachineZone(*TimeZone::withIdentifier("Europe/Oslo"));
    std::vector<std::string> told;
    ClockChangeWatch watch([&] { told.push_back(TimeZone::current().identifier()); }, options());
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told, std::vector<std::string> { "Asia/Tokyo" }, 5000);

    // Another file of the folder changes nothing.
    writeFile(path("etc/other"), "x");
    // A chain of links, and a link into the database's POSIX folder, are followed to their zone.
    std::filesystem::create_directories(path("etc/alternatives"));
    std::filesystem::create_symlink(database("Pacific/Kiritimati"), path("etc/alternatives/localtime"));
    linkZoneFile(path("etc/alternatives/localtime"));
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), 2u, 5000);
    writeFile(database("posix/America/Argentina/Buenos_Aires"), contentsOf("America/Argentina/Buenos_Aires"));
    linkZoneFile("../zoneinfo/posix/America/Argentina/Buenos_Aires");
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), 3u, 5000);
    EXPECT_EQ(told,
        (std::vector<std::string> { "Asia/Tokyo", "Pacific/Kiritimati", "America/Argentina/Buenos_Aires" }));
}

TEST_F(ClockChangeWatchTest, ACopyIsKnownByItsContents)
{
    const platform::MachineZoneFile zoneFile(zonePaths());
    writeFile(path("etc/localtime"), contentsOf("Asia/Tokyo"));
    EXPECT_EQ(zoneFile.zoneName(), "Asia/Tokyo");
    // Of two names for the same contents, the zone in use stays; else the name beside the file
    // says which; else the first by name.
    writeFile(path("etc/localtime"), contentsOf("Europe/Oslo"));
    EXPECT_EQ(zoneFile.zoneName(), "Europe/Berlin");
    writeFile(path("etc/timezone"), "Europe/Oslo\n");
    EXPECT_EQ(zoneFile.zoneName(), "Europe/Oslo");
    EXPECT_EQ(zoneFile.zoneName("Europe/Berlin"), "Europe/Berlin");
    // A file of no zone is none, whatever the name beside it says; so is a link to nowhere.
    writeFile(path("etc/localtime"), "TZif");
    EXPECT_EQ(zoneFile.zoneName("Europe/Oslo"), std::nullopt);
    std::filesystem::remove(path("etc/localtime"));
    std::filesystem::create_symlink(database("Nowhere/Gone"), path("etc/localtime"));
    EXPECT_EQ(zoneFile.zoneName(), std::nullopt);

    // A bind mount over the zone file lands on the database file its link leads to, which then
    // holds the mounted zone: the kernel's mount table says so.
    linkZone("Europe/Oslo");
    writeFile(database("Europe/Oslo"), contentsOf("Asia/Tokyo"));
    auto mounted = zonePaths();
    mounted.mountTable = path("mountinfo");
    writeFile(mounted.mountTable,
        "21 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n22 21 8:1 /srv/tokyo "
            + std::filesystem::canonical(database("Europe/Oslo")).string()
            + " ro,relatime shared:1 - ext4 /dev/sda1 rw\n");
    EXPECT_EQ(platform::MachineZoneFile(mounted).zoneName("Europe/Oslo"), "Asia/Tokyo");

    // A zone TZ names stays this process's: the file is not watched.
    ::setenv("TZ", "Asia/Tokyo", 1);
    ClockChangeWatch watch([] {}, options());
    EXPECT_FALSE(watch.watchesZone());
}

TEST_F(ClockChangeWatchTest, TheSystemClockWatchesFromItsFirstObserverOn)
{
    platform::Clock::setShared(nullptr);
    const auto id = platform::Clock::addChangeObserver([] {});
    const auto watches = QCoreApplication::instance()->findChildren<ClockChangeWatch*>();
    platform::Clock::removeChangeObserver(id);
    ASSERT_EQ(watches.size(), 1);
    EXPECT_GE(watches.front()->timerFile(), 0);
    delete watches.front();
}
