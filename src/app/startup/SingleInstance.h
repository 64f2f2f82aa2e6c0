#pragma once

#include <QLockFile>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace kiruvo {

// The one-instance-per-user rule: a lock file beside the settings database. The first process to
// take it is the application; any other either hands over to it (a plain launch) or, when started
// by a relaunch, waits for the old instance to let go.
//
// The lock belongs to the process: the kernel releases it when the process dies, so a lock left
// behind by a crashed instance (its pid no longer running) is taken over by the next launch. A live
// owner's lock is never taken, however old it is.
//
// Main-thread only.
class SingleInstance {
public:
    using Clock = std::chrono::steady_clock;

    struct WaitOptions {
        std::chrono::milliseconds timeout { 10000 };
        std::chrono::milliseconds retryInterval { 100 };
        // Empty: the steady clock.
        std::function<Clock::time_point()> now;
        // Empty: the calling thread sleeps for the interval.
        std::function<void(std::chrono::milliseconds)> pause;
    };

    // The lock file that goes with the settings database at `databasePath`: beside it, named after
    // it (so that deleting the application's data keeps it, as it keeps the database). A database
    // in memory has no folder: the lock goes into $XDG_RUNTIME_DIR/kiruvo, or into a folder of this
    // user's in the temporary directory when that is unset.
    static QString lockFilePathFor(const std::string& databasePath);
    // The lock file of this process's settings database (KIRUVO_DEFAULTS_PATH or the default).
    static QString lockFilePath();

    // Over this process's lock file.
    SingleInstance();
    explicit SingleInstance(QString path);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock if nobody holds it (or its holder has died); never waits. Creates the folder
    // when needed. True while this object holds the lock.
    bool tryAcquire();
    // Tries again every retryInterval until the lock is taken or `timeout` has passed; the last
    // try is at or after the timeout.
    bool acquireWaiting(const WaitOptions& options);

    bool isHeld() const;
    void release();

    const QString& path() const { return m_path; }
    // Why the last try failed, for the log.
    QString lastFailure() const;
    // Whether the last try failed because another live process holds the lock, rather than because
    // the lock file could not be made at all (a read-only folder, a full disk).
    bool isHeldElsewhere() const { return m_heldElsewhere; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QString m_lastFailure;
    bool m_heldElsewhere = false;
};

} // namespace kiruvo
