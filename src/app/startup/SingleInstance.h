#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kiruvo {

// The one-instance-per-user rule: a lock file beside the settings database. The first process to
// take it is the application; any other either hands over to it (a plain launch) or, when started
// by a relaunch, waits for the old instance to let go.
//
// The lock is the kernel's lock on an open file (flock), which belongs to the process: the kernel
// lets go of it however the process ends, so a lock left by a crashed instance never keeps a launch
// out, and taking it writes nothing (a full disk does not matter once the file is there). A live
// owner's lock is never taken, however old it is. The file says which process holds it, for the
// message of the launch that finds it held.
//
// The same database can be reached by other paths (a symbolic link, a hard link), each with a lock
// file of its own beside it, and from logins whose runtime folders differ: so the holder also takes
// the kernel's lock on the database file itself, which every path to the file and every login
// shares. That lock (flock) is of another kind than SQLite's own locks on the file, which it never
// meets; the descriptor it is taken through stays open for the life of the process, as closing one
// would drop SQLite's locks.
//
// Both files go with the data folder: deleted and made again while the application runs, it would
// let a second instance start on the same path. So the holder also locks a file in the runtime
// folder named after the database's path, which no deletion of the data reaches.
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
    // in memory has no folder: the lock goes into the runtime folder.
    static QString lockFilePathFor(const std::string& databasePath);
    // The lock file of this process's settings database (KIRUVO_DEFAULTS_PATH or the default).
    static QString lockFilePath();
    // This user's folder for runtime files: $XDG_RUNTIME_DIR/kiruvo, or a folder of this user's in
    // the temporary directory when that is unset.
    static QString runtimeFolder();

    // Over this process's lock file and settings database.
    SingleInstance();
    // Over the lock file at `path` and, unless empty, the database file at `databasePath`.
    explicit SingleInstance(QString path, QString databasePath = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock if nobody holds it (or its holder has died); never waits. Creates the folder
    // (and an empty database file, so that every path to it meets the same lock) when needed. True
    // while this object holds the lock.
    bool tryAcquire();
    // Tries again every retryInterval until the lock is taken or `timeout` has passed; the last
    // try is at or after the timeout. A lock file that cannot be made is not waited for.
    bool acquireWaiting(const WaitOptions& options);
    // How long the last acquireWaiting() waited, by its clock; nothing before the first.
    std::optional<Clock::duration> lastWait() const { return m_lastWait; }

    bool isHeld() const;
    void release();

    const QString& path() const { return m_path; }
    // Why the last try failed, for the log.
    QString lastFailure() const;
    // Whether the last try failed because another live process holds the lock, rather than because
    // the lock file could not be made at all (a read-only folder, another user's folder).
    bool isHeldElsewhere() const { return m_heldElsewhere; }

private:
    // One locked file: its descriptor, -1 when not held.
    struct FileLock {
        int descriptor = -1;
    };
    enum class Outcome { Taken, HeldElsewhere, Failed };
    Outcome lockFile(const QString& path, FileLock& lock);
    // The lock of the database file itself; true when it is taken or cannot be had at all (then
    // only the lock beside the path guards the database, which is logged).
    bool lockDatabaseFile();
    // The lock in the runtime folder for the database's path; true when it is taken or cannot be
    // had at all (which is logged).
    bool lockRuntimeFile();

    QString m_path;
    QString m_databasePath;
    FileLock m_pathLock;
    FileLock m_fileLock;
    FileLock m_runtimeLock;
    QString m_lastFailure;
    bool m_heldElsewhere = false;
    std::optional<Clock::duration> m_lastWait;
};

} // namespace kiruvo
