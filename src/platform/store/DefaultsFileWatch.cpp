#include "platform/store/DefaultsFileWatch.h"

#include "platform/store/DefaultsDatabase.h"
#include "platform/store/SqliteSupport.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {

DefaultsFileWatch::DefaultsFileWatch(std::weak_ptr<DefaultsDatabase> database, QObject* parent)
    : QObject(parent)
    , m_database(std::move(database))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, &DefaultsFileWatch::catchUp);
    const auto store = m_database.lock();
    if (!store || store->path() == DefaultsDatabase::memoryPath) {
        return;
    }
    const std::filesystem::path path(store->path());
    m_fileName = path.filename().string();
    m_logName = m_fileName + "-wal";
    std::string folder = path.parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The folder rather than the files: the log is removed and made again as connections come and
    // go, and a file watched by itself would be lost with it.
    if (m_fd < 0 || inotify_add_watch(m_fd, folder.c_str(), IN_MODIFY | IN_CREATE | IN_MOVED_TO) < 0) {
        sqlite::logWarning("Changes other programs make to " + store->path()
            + " are heard only when Kiruvo next reads them: the file cannot be watched ("
            + std::strerror(errno) + ").");
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DefaultsFileWatch::readEvents);
}

DefaultsFileWatch::~DefaultsFileWatch()
{
    delete m_notifier;
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void DefaultsFileWatch::readEvents()
{
    alignas(inotify_event) std::array<char, 4096> buffer {};
    bool written = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            if (event->len > 0) {
                const std::string name(event->name);
                written = written || name == m_fileName || name == m_logName;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (!written) {
        return;
    }
    catchUp();
    m_settle.start();
}

void DefaultsFileWatch::catchUp()
{
    const auto store = m_database.lock();
    // Another program holds the file for the moment: its end comes with a write of its own, or
    // failing that, this look again.
    if (store && !store->catchUpAll() && !m_settle.isActive()) {
        m_settle.start();
    }
}

} // namespace platform
