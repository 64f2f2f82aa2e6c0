#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
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
// The zone: the folder holding the zone file (/etc/localtime, a link into the zone database, or
// on Debian a copy beside /etc/timezone naming it) is watched, as the file is replaced rather than
// written; when it names another zone, that zone becomes TimeZone::current()'s before `changed`
// runs. A zone that TZ in the environment names is this process's for good: the file is not
// watched then.
//
// Main-thread only.
class ClockChangeWatch : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::string zoneFile = "/etc/localtime";
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
    // The zone `zoneFile` names: the part of a link's target after "zoneinfo/", or the first line
    // of the "timezone" file beside it; nothing when neither says.
    static std::optional<std::string> zoneNamedBy(const std::string& zoneFile);

private:
    void arm();
    void timerDidFire();
    void zoneFolderDidChange();

    std::function<void()> m_changed;
    Options m_options;
    int m_timerFile = -1;
    QSocketNotifier* m_timerNotifier = nullptr;
    QFileSystemWatcher* m_zoneWatcher = nullptr;
};

} // namespace platform
