#include "platform/store/DefaultsFileWatch.h"

#include "platform/store/DefaultsDatabase.h"
#include "platform/store/SqliteSupport.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr std::uint32_t watchedEvents
    = IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr std::uint32_t placingEvents = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE;

} // namespace

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
    m_path = store->path();
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The folders rather than the files: the log is removed and made again as connections come and
    // go, and another program may rename a file over the store's; a file watched by itself would
    // be lost with it.
    if (m_fd < 0 || !watchFolders()) {
        sqlite::logWarning("Changes other programs make to " + m_path
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

bool DefaultsFileWatch::watchFolders()
{
    std::error_code error;
    const fs::path path = fs::absolute(m_path, error);
    // Where the file really lies, every link followed, and where the path's own name lies.
    const fs::path real = fs::weakly_canonical(path, error);
    std::map<std::string, Names> folders;
    const auto add = [&](const fs::path& file, bool isReal) {
        fs::path folder = file.parent_path();
        std::string name = file.filename().string();
        bool missing = false;
        // A folder that is gone is waited for in the nearest one above it that is left.
        while (!fs::is_directory(folder, error) && folder.has_relative_path()) {
            name = folder.filename().string();
            folder = folder.parent_path();
            missing = true;
        }
        Names& names = folders[folder.string()];
        names.placed.insert(name);
        names.awaitsFolder = names.awaitsFolder || missing;
        if (isReal && !missing) {
            names.written.insert(name);
            names.written.insert(name + "-wal");
        }
    };
    add(path, false);
    add(real.empty() ? path : real, true);
    if (folders == m_folders && !m_watches.empty()) {
        return true;
    }
    for (const auto& [descriptor, names] : m_watches) {
        inotify_rm_watch(m_fd, descriptor);
    }
    m_watches.clear();
    m_folders = std::move(folders);
    int lastError = 0;
    for (const auto& [folder, names] : m_folders) {
        const int descriptor = inotify_add_watch(m_fd, folder.c_str(), watchedEvents);
        if (descriptor < 0) {
            lastError = errno;
            continue;
        }
        m_watches[descriptor] = names;
    }
    errno = lastError;
    return !m_watches.empty();
}

void DefaultsFileWatch::readEvents()
{
    alignas(inotify_event) std::array<char, 4096> buffer {};
    bool written = false;
    bool placed = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer.data(), buffer.size());
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: anything may have happened.
                written = placed = true;
                continue;
            }
            const auto watch = m_watches.find(event->wd);
            if (watch == m_watches.end()) {
                continue;
            }
            const Names& names = watch->second;
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                // The folder itself went, and the file with it; it may be back before this is read,
                // and then it is watched anew.
                placed = true;
                m_folderChanged = true;
                m_folders.clear();
                continue;
            }
            if (event->len == 0) {
                continue;
            }
            const std::string name(event->name);
            written = written || names.written.contains(name);
            if ((event->mask & placingEvents) && names.placed.contains(name)) {
                placed = true;
                m_folderChanged = m_folderChanged || names.awaitsFolder;
            }
        }
    }
    if (placed) {
        watchFolders();
        // A file renamed over the store's or a link pointed elsewhere is followed at once, before
        // anyone opens the new file beside what is left of the old one's connection.
        if (const auto store = m_database.lock()) {
            store->followPath(false);
        }
        m_settle.start();
    }
    if (written) {
        catchUp();
        m_settle.start();
    }
}

void DefaultsFileWatch::catchUp()
{
    const auto store = m_database.lock();
    if (!store) {
        return;
    }
    // A folder made again gets the store's file once whoever made it has had a moment to put one
    // there themselves; a folder that stays deleted is not made again here.
    std::error_code error;
    const bool folderMade = std::exchange(m_folderChanged, false)
        && fs::is_directory(fs::weakly_canonical(fs::absolute(m_path, error), error).parent_path(), error);
    store->followPath(folderMade);
    // Another program holds the file for the moment: its end comes with a write of its own, or
    // failing that, this look again.
    if (!store->catchUpAll() && !m_settle.isActive()) {
        m_settle.start();
    }
}

} // namespace platform
