#pragma once

#include <sys/types.h>

#include <ctime>

#include <string>

namespace platform {

// Which file a settings store has open, told apart from whatever the path names later: another
// program may rename a file over it (a sync tool's copy), the folder may be deleted and made
// again, or the path may be a symbolic link that is pointed elsewhere. A file is known by its device
// and inode, and by where it really lies, since SQLite keeps its -journal, -wal and -shm beside the
// real file, not beside a link to it.
//
// A plain value; any thread.
class DefaultsFileIdentity {
public:
    // What the path names now, compared with the file open.
    enum class AtPath {
        Same,
        // Another file is there (renamed over, made again, a link pointed elsewhere).
        Other,
        // Nothing is there (the file or its folder deleted, a link leading nowhere).
        Missing,
    };

    // The file `path` names now (through every link); none when nothing is there.
    static DefaultsFileIdentity of(const std::string& path);

    bool isKnown() const { return m_file.known; }
    // Where the file really lies: every link followed.
    const std::string& realPath() const { return m_realPath; }
    AtPath atPath(const std::string& path) const;
    // Whether this is `earlier`'s file, not written since (same size and time of change): one that
    // could not be used then cannot now.
    bool unchangedSince(const DefaultsFileIdentity& earlier) const;

private:
    struct Node {
        bool known = false;
        dev_t device = 0;
        ino_t inode = 0;
        friend bool operator==(const Node&, const Node&) = default;
    };
    static Node nodeOf(const std::string& path, bool& missing);

    std::string m_realPath;
    Node m_file;
    off_t m_size = 0;
    struct timespec m_changed { };
};

} // namespace platform
