#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

class QSocketNotifier;

namespace platform {

class DefaultsDatabase;

// Wakes the settings store when another program may have committed to its file (the sqlite3 tool,
// a sync tool), so that every key's listeners hear that program's change within a moment, as they
// hear a write of this process's: an inotify watch on the file's folder for writes to the file and
// to its write-ahead log, after which the store compares the file's data version with its own
// (catchUpAll()). A commit's last write to the log may come just before its index is updated, so
// the store looks once more a moment after the last write it saw.
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
    void readEvents();
    void catchUp();

    std::weak_ptr<DefaultsDatabase> m_database;
    std::string m_fileName;
    std::string m_logName;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_settle;
};

} // namespace platform
