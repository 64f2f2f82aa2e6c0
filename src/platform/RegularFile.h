#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// Reads a file that a user or another program may have put in place of the one expected: only a
// regular file (after symbolic links) is read, never a FIFO, socket or device, and only up to a
// size limit. Opening never blocks (a FIFO without a writer would wait for good), and the size is
// checked on the opened file itself, so nothing can be swapped in between the check and the read.
// Any thread.
class RegularFile {
public:
    struct Read {
        // The whole contents; nothing when the file was not read.
        std::optional<std::string> contents;
        // Why it was not read, for the log; empty when it was.
        std::string problem;
        // The file is not there at all (not a problem for an optional file).
        bool missing = false;
    };

    static Read read(const std::filesystem::path& path, std::size_t maximumSize);
};

} // namespace platform
