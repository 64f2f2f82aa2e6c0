#pragma once

#include <chrono>
#include <cstddef>
#include <sys/types.h>

namespace platform {

// Everything a script started, wherever it went: the members of its process group, and every
// process descended from its first one, also those that left the group (setsid, a shell's job
// control). The first process adopts the orphans of its descendants (it is their child subreaper),
// so that while it runs none of them escapes to init, where nothing would tell it apart any more.
//
// Ending the tree first stops every process of it (SIGSTOP), over and over until no new one
// appears, so that none can start another meanwhile, and notes each by its pid and start time:
// what was noted is ended even after its parent has gone, and a pid used again by another
// process is left alone.
//
// Only system calls, no allocation, no lock: the watchdog uses it in a process forked from a
// threaded one. Any thread.
class ProcessTree {
public:
    // Processes noted at most; what a script starts beyond them is reached through its group.
    static constexpr std::size_t capacity = 1024;

    // The tree of `root`, the first process of the script, which leads `group`.
    ProcessTree(pid_t root, pid_t group) noexcept;

    // Stops every process of the tree and notes it.
    void freeze() noexcept;
    // Sends `number` to every noted process that still runs, then lets each go on (SIGCONT), so
    // that a stopped process hears it.
    void signal(int number) noexcept;
    // Whether a noted process, or one of the tree, still runs; a zombie is done.
    bool hasLiveMembers() const noexcept;
    // Asks the tree to end (SIGTERM); what is left after `grace`, and what it started meanwhile,
    // is killed. Returns once that is done; false when something had to be killed.
    bool end(std::chrono::milliseconds grace) noexcept;
    // Kills the tree, without asking first.
    void kill() noexcept;

private:
    struct Noted {
        pid_t pid = 0;
        unsigned long long started = 0;
    };
    // Whether the process so described is one of the tree.
    bool belongs(pid_t pid, pid_t parent, pid_t group, unsigned long long started) const noexcept;
    const Noted* noted(pid_t pid) const noexcept;

    pid_t m_root;
    pid_t m_group;
    Noted m_noted[capacity];
    std::size_t m_count = 0;
};

} // namespace platform
