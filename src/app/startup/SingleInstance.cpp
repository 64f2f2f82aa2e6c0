#include "app/startup/SingleInstance.h"

#include "platform/Logger.h"
#include "platform/PrivateFiles.h"
#include "platform/store/DefaultsDatabase.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// A descriptor of a settings database file, open and unlocked, for the next try on that file.
struct SpareDescriptor {
    dev_t device;
    ino_t inode;
    int descriptor;
};

std::vector<SpareDescriptor>& spareDescriptors()
{
    static std::vector<SpareDescriptor> spares;
    return spares;
}

void keepDescriptor(int descriptor)
{
    struct stat status { };
    if (::fstat(descriptor, &status) == 0) {
        spareDescriptors().push_back({ status.st_dev, status.st_ino, descriptor });
    }
}

// A descriptor of the settings database file at `path`, made when missing, with its `status`; -1
// (errno set) when it cannot be opened. The descriptor belongs to the process from then on and is
// never closed: closing any descriptor of a file drops every lock of SQLite's on it in this process
// (the store may have it open already: settings are read before the lock is taken), where the
// kernel's lock on the file (flock) taken through it is a lock of another kind, which SQLite's
// never meet.
int keptDescriptorOf(const std::filesystem::path& path, struct stat& status)
{
    auto& spares = spareDescriptors();
    if (::stat(path.c_str(), &status) == 0) {
        const auto spare = std::find_if(spares.begin(), spares.end(), [&status](const SpareDescriptor& kept) {
            return kept.device == status.st_dev && kept.inode == status.st_ino;
        });
        if (spare != spares.end()) {
            const int descriptor = spare->descriptor;
            spares.erase(spare);
            return descriptor;
        }
    }
    // Never a FIFO that would keep the open waiting; read-only, as taking the lock writes nothing.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return -1;
    }
    if (::fstat(descriptor, &status) != 0) {
        const int number = errno;
        keepDescriptor(descriptor);
        errno = number;
        return -1;
    }
    return descriptor;
}

// The process that holds the kernel's lock on the file of `status`, as the kernel lists it.
QString fileLockHolderOf(const struct stat& status)
{
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", ::major(status.st_dev), ::minor(status.st_dev),
        static_cast<unsigned long long>(status.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        // Waiters are listed with "->" after the number.
        if (fields >> number >> kind >> mode >> access >> pid >> file && kind == "FLOCK" && file == wanted) {
            return QString::fromStdString(pid);
        }
    }
    return {};
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
    // When missing the file is made here, as the store's opening would make it, so that a path
    // that reaches it through a link, started meanwhile, meets this lock too.
    struct stat status { };
    const int descriptor = keptDescriptorOf(database, status);
    if (descriptor < 0) {
        return warn(errorText(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        // No database: nothing of SQLite's can be open on it.
        ::close(descriptor);
        return true;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
        m_fileLock.descriptor = descriptor;
        return true;
    }
    const int number = errno;
    keepDescriptor(descriptor);
    if (number == EWOULDBLOCK) {
        const QString holder = fileLockHolderOf(status);
        m_heldElsewhere = true;
        m_lastFailure = (holder.isEmpty() ? QStringLiteral("held by another process")
                                          : QStringLiteral("held by process %1").arg(holder))
            + QStringLiteral(", which uses this settings database by another path");
        return false;
    }
    return warn(QStringLiteral("cannot lock %1: %2").arg(m_databasePath, errorText(number)));
}

bool SingleInstance::lockRuntimeFile()
{
    // Named after the path: another path to the same file meets the database file's own lock.
    const QByteArray key = QCryptographicHash::hash(
        QFileInfo(m_databasePath).absoluteFilePath().toUtf8(), QCryptographicHash::Sha256)
                               .toHex()
                               .left(32);
    const QString folder = runtimeFolder();
    std::string problem;
    Outcome outcome = Outcome::Failed;
    if (platform::PrivateFiles::ensurePrivateFolder(localPath(folder), problem)) {
        outcome = lockFile(
            folder + QStringLiteral("/instance-") + QString::fromLatin1(key) + QLatin1String(lockSuffix),
            m_runtimeLock);
    } else {
        m_lastFailure = QString::fromStdString(problem);
    }
    if (outcome == Outcome::Failed) {
        // The locks beside the database still guard it, as long as its folder stays.
        platform::log(platform::LogLevel::Warning, platform::lcStartup(),
            QStringLiteral("The settings database %1 is not guarded against a second instance started after "
                           "its folder is deleted and made again: %2")
                .arg(m_databasePath, m_lastFailure)
                .toStdString());
        m_lastFailure.clear();
    }
    return outcome != Outcome::HeldElsewhere;
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
    if (!m_databasePath.isEmpty() && (!lockRuntimeFile() || !lockDatabaseFile())) {
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
    const auto start = now();
    const auto deadline = start + options.timeout;
    const auto interval = std::max(options.retryInterval, std::chrono::milliseconds(1));
    for (;;) {
        if (tryAcquire()) {
            m_lastWait = now() - start;
            return true;
        }
        const auto current = now();
        // A lock file that cannot be made at all is no instance's to let go of.
        if (current >= deadline || !m_heldElsewhere) {
            m_lastWait = current - start;
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
    // The database file's descriptor is never closed (see keptDescriptorOf()): its lock is let go
    // of, and the descriptor kept for the next try.
    if (m_fileLock.descriptor >= 0) {
        ::flock(m_fileLock.descriptor, LOCK_UN);
        keepDescriptor(std::exchange(m_fileLock.descriptor, -1));
    }
    // Closing the lock file lets go of its lock; the file stays for the next holder.
    if (m_runtimeLock.descriptor >= 0) {
        ::close(std::exchange(m_runtimeLock.descriptor, -1));
    }
    if (m_pathLock.descriptor >= 0) {
        ::close(std::exchange(m_pathLock.descriptor, -1));
    }
}

QString SingleInstance::lastFailure() const
{
    return m_lastFailure;
}

} // namespace kiruvo
