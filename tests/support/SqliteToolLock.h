#pragma once

#include <string>
#include <sys/types.h>

// Another program holding a settings file: the sqlite3 command-line tool, in a process of its own,
// inside a write transaction. With `readersToo` it also keeps readers out (exclusive locking
// mode), as a database browser can; otherwise only writers wait.
class SqliteToolLock {
public:
    explicit SqliteToolLock(std::string path);
    ~SqliteToolLock();
    SqliteToolLock(const SqliteToolLock&) = delete;
    SqliteToolLock& operator=(const SqliteToolLock&) = delete;

    // Whether the sqlite3 tool is there to run.
    static bool available();

    // Starts the tool and waits until it holds the lock; false when it could not take it.
    bool hold(bool readersToo);
    // Runs `sql` inside the held transaction; false when the tool reports an error.
    bool exec(const std::string& sql);
    // Commits what exec() changed and lets go (the tool ends).
    bool commitAndRelease();
    // Lets go without changing anything (the tool ends).
    void release();

private:
    bool send(const std::string& text);
    bool waitFor(const std::string& marker);
    void stop(const char* last);

    std::string m_path;
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_buffered;
    int m_marks = 0;
};
