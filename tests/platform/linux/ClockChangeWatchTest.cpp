#include "platform/linux/ClockChangeWatch.h"
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

// The real timer file and folder watch; where only root could set the clock, the test answers
// the timer's read for the kernel. The machine's zone and TZ are put back as they were.
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

    // Points the zone file at a zone of the database, replacing it as timedated does.
    void linkZone(const std::string& zone)
    {
        std::filesystem::create_symlink("/usr/share/zoneinfo/" + zone, path("localtime.new"));
        std::filesystem::rename(path("localtime.new"), path("localtime"));
    }

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
    ClockChangeWatch::Options options;
    options.zoneFile = path("localtime");
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
    ClockChangeWatch::Options options;
    options.zoneFile = path("localtime");
    ClockChangeWatch watch([&] { told.push_back(TimeZone::current().identifier()); }, options);
    ASSERT_TRUE(watch.watchesZone());

    linkZone("Pacific/Kiritimati");
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told, std::vector<std::string> { "Pacific/Kiritimati" }, 5000);
    EXPECT_EQ(TimeZone::current().identifier(), "Pacific/Kiritimati");

    // The same zone again, a file that names none and another file of the folder change nothing:
    // the next zone is the next one told.
    linkZone("Pacific/Kiritimati");
    std::filesystem::remove(path("localtime"));
    std::ofstream(path("other")) << "x";
    linkZone("Asia/Tokyo");
    KIRUVO_TRY_COMPARE_WITH_TIMEOUT(told.size(), 2u, 5000);
    EXPECT_EQ(told, (std::vector<std::string> { "Pacific/Kiritimati", "Asia/Tokyo" }));
}

TEST_F(ClockChangeWatchTest, AZoneIsNamedByTheLinkOrTheFileBesideACopy)
{
    linkZone("America/Argentina/Buenos_Aires");
    EXPECT_EQ(ClockChangeWatch::zoneNamedBy(path("localtime")), "America/Argentina/Buenos_Aires");
    std::filesystem::remove(path("localtime"));
    std::ofstream(path("localtime")) << "TZif";
    EXPECT_EQ(ClockChangeWatch::zoneNamedBy(path("localtime")), std::nullopt);
    std::ofstream(path("timezone")) << "Asia/Tokyo\n";
    EXPECT_EQ(ClockChangeWatch::zoneNamedBy(path("localtime")), "Asia/Tokyo");

    // A zone TZ names stays this process's: the file is not watched.
    ::setenv("TZ", "Asia/Tokyo", 1);
    ClockChangeWatch::Options options;
    options.zoneFile = path("localtime");
    ClockChangeWatch watch([] {}, options);
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
