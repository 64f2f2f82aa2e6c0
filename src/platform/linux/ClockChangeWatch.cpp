#include "platform/linux/ClockChangeWatch.h"

#include "platform/LogCategories.h"
#include "platform/Logger.h"
#include "platform/time/TimeZone.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/timerfd.h>
#include <unistd.h>

namespace platform {

namespace {

// The timer only waits to be cancelled: it is armed a year ahead, and again whenever it fires.
constexpr time_t farAhead = 366L * 24 * 3600;

} // namespace

ClockChangeWatch::ClockChangeWatch(std::function<void()> changed, Options options, QObject* parent)
    : QObject(parent)
    , m_changed(std::move(changed))
    , m_options(std::move(options))
{
    if (!m_options.readTimer) {
        m_options.readTimer
            = [](int fd, std::uint64_t* expirations) { return ::read(fd, expirations, sizeof *expirations); };
    }
    m_timerFile = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFile < 0) {
        log(LogLevel::Error, lcSystem(),
            std::string("No real-time timer: a change of the clock is seen only at the next minute: ")
                + std::strerror(errno));
    } else {
        arm();
        m_timerNotifier = new QSocketNotifier(m_timerFile, QSocketNotifier::Read, this);
        connect(m_timerNotifier, &QSocketNotifier::activated, this, [this] { timerDidFire(); });
    }

    const char* tz = std::getenv("TZ");
    if (tz && *tz) {
        return;
    }
    const std::filesystem::path zoneFile(m_options.zonePaths.zoneFile);
    m_zoneWatcher = new QFileSystemWatcher(this);
    if (!m_zoneWatcher->addPath(QString::fromStdString(zoneFile.parent_path().string()))) {
        log(LogLevel::Warning, lcSystem(), "The time zone's folder cannot be watched: " + zoneFile.string());
    }
    watchZoneFiles();
    connect(m_zoneWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { zoneMayHaveChanged(); });
    connect(m_zoneWatcher, &QFileSystemWatcher::fileChanged, this, [this] { zoneMayHaveChanged(); });
    // The time zone library chose a zone by rules of its own at its first use: from the first turn
    // of the event loop on, the zone is the one the C library reads.
    QMetaObject::invokeMethod(
        this, [this] { zoneMayHaveChanged(); }, Qt::QueuedConnection);
    // The kernel marks its mount table as an exceptional condition after every change of it.
    m_mountTable = ::open(m_options.zonePaths.mountTable.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_mountTable >= 0) {
        m_mountNotifier = new QSocketNotifier(m_mountTable, QSocketNotifier::Exception, this);
        connect(m_mountNotifier, &QSocketNotifier::activated, this, [this] { zoneMayHaveChanged(); });
    } else {
        log(LogLevel::Warning, lcSystem(),
            "The mount table cannot be watched, so a zone file mounted later goes unseen: "
                + std::string(std::strerror(errno)));
    }
}

ClockChangeWatch::~ClockChangeWatch()
{
    if (m_timerFile >= 0) {
        delete m_timerNotifier;
        ::close(m_timerFile);
    }
    if (m_mountTable >= 0) {
        delete m_mountNotifier;
        ::close(m_mountTable);
    }
}

void ClockChangeWatch::arm()
{
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    itimerspec when {};
    when.it_value.tv_sec = now.tv_sec > LONG_MAX - farAhead ? LONG_MAX : now.tv_sec + farAhead;
    if (::timerfd_settime(m_timerFile, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) != 0) {
        log(LogLevel::Error, lcSystem(),
            std::string("The real-time timer cannot be armed: a change of the clock goes unseen: ")
                + std::strerror(errno));
    }
}

void ClockChangeWatch::timerDidFire()
{
    std::uint64_t expirations = 0;
    const ssize_t read = m_options.readTimer(m_timerFile, &expirations);
    if (read < 0 && errno == EAGAIN) {
        return;
    }
    const bool cancelled = read < 0 && errno == ECANCELED;
    if (read < 0 && !cancelled) {
        log(LogLevel::Warning, lcSystem(),
            std::string("The real-time timer cannot be read: ") + std::strerror(errno));
    }
    // Cancelled or expired, it waits again.
    arm();
    if (cancelled) {
        m_changed();
    }
}

void ClockChangeWatch::watchZoneFiles()
{
    const MachineZoneFile zoneFile(m_options.zonePaths);
    const QStringList watched = m_zoneWatcher->files();
    for (const std::string& path : { zoneFile.paths().zoneFile, zoneFile.nameFile() }) {
        const QString file = QString::fromStdString(path);
        // A file replaced (renamed over, removed and made again) is another file to the kernel.
        if (watched.contains(file)) {
            m_zoneWatcher->removePath(file);
        }
        if (QFileInfo::exists(file)) {
            m_zoneWatcher->addPath(file);
        }
    }
}

void ClockChangeWatch::zoneMayHaveChanged()
{
    watchZoneFiles();
    const auto name = MachineZoneFile(m_options.zonePaths).zoneName(TimeZone::current().identifier());
    const auto zone = name ? TimeZone::withIdentifier(*name) : std::nullopt;
    if (!zone) {
        return;
    }
    if (TimeZone::adoptMachineZone(*zone)) {
        log(LogLevel::Info, lcSystem(), "The time zone is now " + zone->identifier());
        m_changed();
    }
}

void ClockChangeWatch::ensureForSystemClock(std::function<void()> changed)
{
    static QPointer<ClockChangeWatch> watch;
    if (watch || !QCoreApplication::instance()) {
        return;
    }
    watch = new ClockChangeWatch(std::move(changed), Options(), QCoreApplication::instance());
}

} // namespace platform
