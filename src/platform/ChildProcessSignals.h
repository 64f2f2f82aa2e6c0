#pragma once

#include <functional>

class QProcess;

namespace platform {

// Signals as a program expects them when it starts: each at its default action, none blocked.
//
// This process ignores some (SIGPIPE, SIGXFSZ), catches others (SIGTERM into its event loop) and
// may block some. A program started from it keeps across exec what is ignored and what is blocked:
// a browser or a user's script would then live on past a write into a closed pipe or over a file
// size limit, where started from a terminal it ends. Between fork and exec the child would even run
// this process's handlers, which write into sockets it shares with this process.
class ChildProcessSignals {
public:
    // For the child between fork (or vfork) and exec: only system calls, no allocation, no lock.
    static void restoreDefaults() noexcept;

    // Makes `process` start its program with the signals restored; `thenInChild`, when given, runs
    // after that in the child, under the same rules. Replaces the process's child modifier.
    static void applyTo(QProcess& process, std::function<void()> thenInChild = {});
};

} // namespace platform
