#pragma once

#include "platform/store/PropertyList.h"
#include "platform/store/SqliteSupport.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

namespace platform {

// One opening of the settings file, at start or at a retry while another process held it: the file
// (created when missing) passes its integrity check and holds nothing but the store's table before
// anything is written to it, so that a damaged file or another program's database is left exactly
// as it was found; then every row is read.
struct DefaultsFileOpening {
    // Foreign: a sound database of another program's, which is left as it is.
    enum class Outcome { Opened, Damaged, Foreign, Unavailable };
    template <class T> using BySuite = std::unordered_map<std::string, std::unordered_map<std::string, T>>;

    // The file opened, or why not (the SQLite code and a message).
    static DefaultsFileOpening open(
        const std::string& path, int busyTimeoutMilliseconds, std::size_t deferredDecodeSize);

    // What the main file at `path` holds, read without whatever log lies beside it and without
    // writing to it: for a file that cannot be opened while another program's log lies there. No
    // connection is kept.
    static DefaultsFileOpening readWithoutLog(const std::string& path, std::size_t deferredDecodeSize);

    Outcome outcome = Outcome::Unavailable;
    int code = 1; // SQLITE_ERROR
    std::string message;
    // Unavailable because a log that may be another file's lies beside it.
    bool logBeside = false;
    // The connection when Opened: a rollback journal, durable commits, the table made.
    sqlite::Connection db;
    std::unordered_map<std::string, std::unordered_map<std::string, std::shared_ptr<const PropertyList>>>
        values;
    // The texts of rows that did not decode (reported), and of rows of deferredDecodeSize bytes or
    // more, decoded when first read.
    BySuite<std::string> unreadable;
    BySuite<std::string> deferred;
};

} // namespace platform
