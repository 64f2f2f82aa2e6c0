#pragma once

#include <cstdio>

namespace zk {

// A terminal, known by the file handle through which it is written (standard output or standard
// error of a program run from a shell). The handle is not owned: closing it is its opener's task.
class Terminal {
public:
    explicit Terminal(std::FILE* handle)
        : fileHandle(handle)
    {
    }

    std::FILE* fileHandle;
};

} // namespace zk
