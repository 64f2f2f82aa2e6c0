#pragma once

#include "platform/linux/MachineZoneFile.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

class QFileSystemWatcher;
class QSocketNotifier;

namespace platform {

// Watches the machine for jumps of its wall clock and changes of its time zone, and calls
// `changed` on the main thread after each.
//
// A jump: a timer file on the real-time clock, armed for a moment far ahead with
// TFD_TIMER_CANCEL_ON_SET, which the kernel cancels whenever the clock is set rather than running
// on (by hand, by time synchronisation, at a wake from suspend); reading it then fails with
// ECANCELED, and the timer is armed again.
//
// The zone: the zone file the C library reads (/etc/localtime, see MachineZoneFile) is watched
// itself, for a copy written over in place, and so is Debian's /etc/timezone beside it; the folder
// holding them is watched for a file replaced or put back, and the mount table for a file mounted
// over one of them or taken away. After any of these, and once at the start (the time zone
// library chose its zone by rules of its own), the zone the file stands for is found again, and
// when it is another one, it becomes TimeZone::current()'s before `changed` runs. A zone that TZ
// in the environment names is this process's for good: nothing is watched then.
//
// Main-thread only.
class ClockChangeWatch : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Where the zone file and the zone database are.
        MachineZoneFile::Paths zonePaths;
        // Reads the timer file as read(2) does (the expirations, or -1 and errno); empty: read(2).
        // Tests answer for the kernel, as only root could set the clock.
        std::function<ssize_t(int fd, std::uint64_t* expirations)> readTimer;
    };

    explicit ClockChangeWatch(std::function<void()> changed, Options options, QObject* parent = nullptr);
    ~ClockChangeWatch() override;

    // The timer file; -1 when the kernel gave none (jumps then go unseen, and it is logged).
    int timerFile() const { return m_timerFile; }
    // Whether the zone file is watched.
    bool watchesZone() const { return m_zoneWatcher != nullptr; }

    // Starts the watch that tells the system clock, owned by the QCoreApplication; nothing while
    // there is none, or when it runs already.
    static void ensureForSystemClock(std::function<void()> changed);

private:
    void arm();
    void timerDidFire();
    void zoneMayHaveChanged();
    // Files replaced since they were watched are watched again.
    void watchZoneFiles();

    std::function<void()> m_changed;
    Options m_options;
    int m_timerFile = -1;
    QSocketNotifier* m_timerNotifier = nullptr;
    QFileSystemWatcher* m_zoneWatcher = nullptr;
    int m_mountTable = -1;
    QSocketNotifier* m_mountNotifier = nullptr;
};

} // namespace platform
