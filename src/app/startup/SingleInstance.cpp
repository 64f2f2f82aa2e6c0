#include "app/startup/SingleInstance.h"

#include "platform/store/DefaultsDatabase.h"

#include <QDir>
#include <QFileInfo>

#include <thread>
#include <unistd.h>

namespace kiruvo {

namespace {

constexpr const char* lockSuffix = ".instance-lock";

QString privateTemporaryFolder()
{
    return QDir::tempPath() + QStringLiteral("/kiruvo-") + QString::number(::getuid());
}

} // namespace

QString SingleInstance::lockFilePathFor(const std::string& databasePath)
{
    if (databasePath.empty() || databasePath == ":memory:") {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString folder = (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
            ? runtime + QStringLiteral("/kiruvo")
            : privateTemporaryFolder();
        return folder + QStringLiteral("/kiruvo") + QLatin1String(lockSuffix);
    }
    const QFileInfo database(QString::fromStdString(databasePath));
    return database.absoluteFilePath() + QLatin1String(lockSuffix);
}

QString SingleInstance::lockFilePath()
{
    return lockFilePathFor(platform::DefaultsDatabase::defaultPath());
}

SingleInstance::SingleInstance()
    : SingleInstance(lockFilePath())
{
}

SingleInstance::SingleInstance(QString path)
    : m_path(std::move(path))
{
}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::tryAcquire()
{
    if (isHeld()) {
        return true;
    }
    m_heldElsewhere = false;
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        m_lastFailure = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    // The folder in the shared temporary directory must not be open to other users.
    if (info.absolutePath() == privateTemporaryFolder()) {
        QFile::setPermissions(
            info.absolutePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    auto lock = std::make_unique<QLockFile>(m_path);
    // A lock is stale only when its owner is gone; age says nothing about a tray application that
    // runs for weeks.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        m_lastFailure.clear();
        return true;
    }
    switch (lock->error()) {
    case QLockFile::LockFailedError: {
        m_heldElsewhere = true;
        qint64 pid = 0;
        QString hostName;
        QString appName;
        if (lock->getLockInfo(&pid, &hostName, &appName)) {
            m_lastFailure = QStringLiteral("held by process %1 (%2)").arg(pid).arg(appName);
        } else {
            m_lastFailure = QStringLiteral("held by another process");
        }
        break;
    }
    case QLockFile::PermissionError:
        m_lastFailure = QStringLiteral("no permission to create %1").arg(m_path);
        break;
    default:
        m_lastFailure = QStringLiteral("cannot create %1").arg(m_path);
        break;
    }
    return false;
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
    return m_lock && m_lock->isLocked();
}

void SingleInstance::release()
{
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}

QString SingleInstance::lastFailure() const
{
    return m_lastFailure;
}

} // namespace kiruvo
