#pragma once

#include "platform/store/StoredValue.h"

#include <string>

namespace platform {

class DefaultsConnection;
class ResidentValues;

// Reading a long value of the settings store again from its file, as nobody holds it in memory:
// what the read gave, a row gone or a text that no longer decodes (reported and kept as a row found
// so at open would be), or a failure for another reason, which marks the key as stored but unread.
//
// Not thread-safe: the store uses it under its write lock.
class LargeValueReads {
public:
    // What a read gave: the value, or null with `failure` set to the SQLite code when the read
    // failed for another reason than a row gone or a text that does not decode.
    struct Reread {
        StoredValue value;
        int failure = 0;
    };

    // `values` and `path` (the file in use, for reports) are the store's and live as long as this.
    LargeValueReads(ResidentValues& values, const std::string& path);

    // The long value of `key` as `file` holds it; nothing when no file is open.
    Reread read(DefaultsConnection* file, const std::string& suite, const std::string& key) const;
    // Marks `key` as stored but unread after a read failed, and reports it unless the last read
    // failed too.
    void markUnread(
        DefaultsConnection* file, const std::string& suite, const std::string& key, int failure) const;
    // The current object of a long value: the held or lent one, else read from the file and lent;
    // null when the row is gone or no longer reads.
    StoredValue lend(DefaultsConnection* file, const std::string& suite, const std::string& key) const;
    // Every long value read into memory, for reads once `file` is closed.
    void holdAll(DefaultsConnection* file) const;

private:
    ResidentValues& m_values;
    const std::string& m_path;
};

} // namespace platform
