#include "app/startup/SingleInstance.h"

#include "platform/Logger.h"
#include "platform/PrivateFiles.h"
#include "platform/store/DefaultsDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiruvo {

namespace {

constexpr const char* lockSuffix = ".instance-lock";
constexpr const char* memoryPath = ":memory:";

std::filesystem::path localPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString errorText(int number)
{
    return QString::fromStdString(std::error_code(number, std::generic_category()).message());
}

// The process named in a lock file, when that process still runs.
QString holderOf(int descriptor)
{
    char text[64] = {};
    const ssize_t count = ::pread(descriptor, text, sizeof text - 1, 0);
    if (count <= 0) {
        return {};
    }
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end == text || pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) {
        return {};
    }
    return QString::number(pid);
}

} // namespace

QString SingleInstance::runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        return runtime + QStringLiteral("/kiruvo");
    }
    return QDir::tempPath() + QStringLiteral("/kiruvo-") + QString::number(::getuid());
}

QString SingleInstance::lockFilePathFor(const std::string& databasePath)
{
    if (databasePath.empty() || databasePath == memoryPath) {
        return runtimeFolder() + QStringLiteral("/kiruvo") + QLatin1String(lockSuffix);
    }
    const QFileInfo database(QString::fromStdString(databasePath));
    return database.absoluteFilePath() + QLatin1String(lockSuffix);
}

QString SingleInstance::lockFilePath()
{
    return lockFilePathFor(platform::DefaultsDatabase::defaultPath());
}

SingleInstance::SingleInstance()
    : SingleInstance(lockFilePath(),
        platform::DefaultsDatabase::defaultPath() == memoryPath
            ? QString()
            : QString::fromStdString(platform::DefaultsDatabase::defaultPath()))
{
}

SingleInstance::SingleInstance(QString path, QString databasePath)
    : m_path(std::move(path))
    , m_databasePath(std::move(databasePath))
{
}

SingleInstance::~SingleInstance()
{
    release();
}

SingleInstance::Outcome SingleInstance::lockFile(const QString& path, FileLock& lock)
{
    // Never through a link, and never a FIFO that would keep the open waiting.
    const int descriptor = ::open(QFile::encodeName(path).constData(),
        O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        const int number = errno;
        m_lastFailure = (number == EACCES || number == EPERM || number == EROFS
                ? QStringLiteral("no permission to create %1: %2")
                : QStringLiteral("cannot create %1: %2"))
                            .arg(path, errorText(number));
        return Outcome::Failed;
    }
    struct stat status { };
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        m_lastFailure = QStringLiteral("%1 is not a file").arg(path);
        return Outcome::Failed;
    }
    // Earlier versions left it readable by everyone; it is the user's own, as every file of theirs.
    if ((status.st_mode & 077) != 0) {
        ::fchmod(descriptor, 0600);
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int number = errno;
        if (number == EWOULDBLOCK) {
            const QString holder = holderOf(descriptor);
            m_heldElsewhere = true;
            m_lastFailure = holder.isEmpty() ? QStringLiteral("held by another process")
                                             : QStringLiteral("held by process %1").arg(holder);
        } else {
            m_lastFailure = QStringLiteral("cannot lock %1: %2").arg(path, errorText(number));
        }
        ::close(descriptor);
        return number == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Failed;
    }
    // Who holds it, for the launch that finds it taken. A full disk keeps out only this note.
    const QByteArray note = QByteArray::number(QCoreApplication::applicationPid()) + '\n'
        + QCoreApplication::applicationName().toUtf8() + '\n';
    if (::ftruncate(descriptor, 0) != 0
        || ::pwrite(descriptor, note.constData(), static_cast<size_t>(note.size()), 0) != note.size()) {
        platform::log(platform::LogLevel::Debug, platform::lcStartup(),
            "Cannot note this process in " + path.toStdString() + ": " + errorText(errno).toStdString());
    }
    lock.descriptor = descriptor;
    return Outcome::Taken;
}

bool SingleInstance::lockDatabaseFile()
{
    const auto warn = [this](const QString& reason) {
        platform::log(platform::LogLevel::Warning, platform::lcStartup(),
            QStringLiteral("The settings database %1 is guarded only by its path, not against an instance "
                           "that reaches it by another path: %2")
                .arg(m_databasePath, reason)
                .toStdString());
        return true;
    };
    const std::filesystem::path database = localPath(m_databasePath);
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(database, error);
    std::string problem;
    if (error || !platform::PrivateFiles::isOwnFolder(real.parent_path(), problem)) {
        // The store's opening refuses it and says why.
        return true;
    }
    // The store may have the file open already (settings are read before the lock is taken), and
    // closing any descriptor of the file would drop the locks SQLite holds on it for this process:
    // so the file is only looked at. When missing it is made here, as the store's opening would
    // make it, so that a path that reaches it through a link, started meanwhile, meets this lock
    // too; nothing of this process can have a file open that did not exist.
    struct stat status { };
    bool known = ::stat(database.c_str(), &status) == 0;
    if (!known && errno == ENOENT) {
        const int made = ::open(database.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
        if (made >= 0) {
            known = ::fstat(made, &status) == 0;
            ::close(made);
        } else if (errno == EEXIST) {
            known = ::stat(database.c_str(), &status) == 0;
        }
    }
    if (!known) {
        return warn(errorText(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return true;
    }
    const QString folder = runtimeFolder();
    if (!platform::PrivateFiles::ensurePrivateFolder(localPath(folder), problem)) {
        return warn(QString::fromStdString(problem));
    }
    const QString path = folder
        + QStringLiteral("/store-%1-%2%3")
              .arg(static_cast<qulonglong>(status.st_dev), 0, 16)
              .arg(static_cast<qulonglong>(status.st_ino))
              .arg(QLatin1String(lockSuffix));
    switch (lockFile(path, m_fileLock)) {
    case Outcome::Taken:
        return true;
    case Outcome::HeldElsewhere:
        m_lastFailure += QStringLiteral(", which uses this settings database by another path");
        return false;
    case Outcome::Failed:
        break;
    }
    const QString reason = m_lastFailure;
    m_lastFailure.clear();
    return warn(reason);
}

bool SingleInstance::tryAcquire()
{
    if (isHeld()) {
        return true;
    }
    m_heldElsewhere = false;
    const QString folder = QFileInfo(m_path).absolutePath();
    std::string problem;
    std::error_code error;
    if (folder == runtimeFolder()) {
        // A folder of the shared temporary directory, say: nobody else's, and closed to others.
        if (!platform::PrivateFiles::ensurePrivateFolder(localPath(folder), problem)) {
            m_lastFailure = QString::fromStdString(problem);
            return false;
        }
    } else if (!platform::PrivateFiles::isOwnFolder(localPath(folder), problem)) {
        m_lastFailure = QString::fromStdString(problem);
        return false;
    } else if (!platform::PrivateFiles::createFolders(localPath(folder), error)) {
        m_lastFailure = QStringLiteral("cannot create the folder %1: %2")
                            .arg(folder, QString::fromStdString(error.message()));
        return false;
    }
    if (lockFile(m_path, m_pathLock) != Outcome::Taken) {
        return false;
    }
    if (!m_databasePath.isEmpty() && !lockDatabaseFile()) {
        release();
        return false;
    }
    m_lastFailure.clear();
    return true;
}

bool SingleInstance::acquireWaiting(const WaitOptions& options)
{
    const auto now = [&options] { return options.now ? options.now() : Clock::now(); };
    const auto pause = [&options](std::chrono::milliseconds interval) {
        if (options.pause) {
            options.pause(interval);
        } else {
            std::this_thread::sleep_for(interval);
        }
    };
    const auto deadline = now() + options.timeout;
    const auto interval = std::max(options.retryInterval, std::chrono::milliseconds(1));
    for (;;) {
        if (tryAcquire()) {
            return true;
        }
        const auto current = now();
        if (current >= deadline) {
            return false;
        }
        pause(std::min(interval, std::chrono::ceil<std::chrono::milliseconds>(deadline - current)));
    }
}

bool SingleInstance::isHeld() const
{
    return m_pathLock.descriptor >= 0;
}

void SingleInstance::release()
{
    // Closing the file lets go of its lock; the file stays for the next holder.
    for (FileLock* lock : { &m_fileLock, &m_pathLock }) {
        if (lock->descriptor >= 0) {
            ::close(lock->descriptor);
            lock->descriptor = -1;
        }
    }
}

QString SingleInstance::lastFailure() const
{
    return m_lastFailure;
}

} // namespace kiruvo
