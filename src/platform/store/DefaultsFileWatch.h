#pragma once

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

class QSocketNotifier;

namespace platform {

class DefaultsDatabase;

// Wakes the settings store when another program may have committed to its file (the sqlite3 tool,
// a sync tool), so that every key's listeners hear that program's change within a moment, as they
// hear a write of this process's: an inotify watch on the folder where the file really lies (a path
// that is a symbolic link leads elsewhere, and SQLite writes the -wal beside the real file) for
// writes to the file and to its write-ahead log, after which the store compares the file's data
// version with its own (catchUpAll()). A commit's last write to the log may come just before its
// index is updated, so the store looks once more a moment after the last write it saw.
//
// The names are watched too: a file renamed over the store's, deleted, or a link at the path pointed
// elsewhere has the store follow the file at the path (followPath()), and the watch moves with the
// link. A folder deleted is waited for in the nearest folder above it that is left; when it is made
// again, the store makes its file there a moment later, unless another program has put one there.
//
// Nothing runs while nobody writes: no timer runs but that one look after a write. Lives on the main
// thread; the store's listeners are called there.
class DefaultsFileWatch : public QObject {
    Q_OBJECT

public:
    static constexpr int settleMilliseconds = 250;

    // Watches the file of `database` while it lives; isWatching() tells whether that could be done
    // (a store in memory, or no inotify, cannot be watched; the reason is logged).
    explicit DefaultsFileWatch(std::weak_ptr<DefaultsDatabase> database, QObject* parent = nullptr);
    ~DefaultsFileWatch() override;
    DefaultsFileWatch(const DefaultsFileWatch&) = delete;
    DefaultsFileWatch& operator=(const DefaultsFileWatch&) = delete;

    bool isWatching() const { return m_notifier != nullptr; }

private:
    // What an event in one folder must name to concern the store.
    struct Names {
        // The real file and its log: another program's commit.
        std::set<std::string> written;
        // The path's names (the link, the real file), and a folder on the way that is missing: the
        // file at the path may be another one now.
        std::set<std::string> placed;
        // `placed` names a folder deleted on the way to the file.
        bool awaitsFolder = false;
        friend bool operator==(const Names&, const Names&) = default;
    };

    // Watches the folders where the path's names lie now; false when none could be watched.
    bool watchFolders();
    void readEvents();
    void catchUp();

    std::weak_ptr<DefaultsDatabase> m_database;
    std::string m_path;
    int m_fd = -1;
    std::map<std::string, Names> m_folders;
    std::unordered_map<int, Names> m_watches;
    // A folder on the way was deleted or made again: the store makes its file there once things
    // settle, if the folder is there.
    bool m_folderChanged = false;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_settle;
};

} // namespace platform
