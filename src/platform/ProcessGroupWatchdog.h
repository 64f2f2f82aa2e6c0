#pragma once

#include <sys/types.h>

namespace platform {

// Ends a process group that this process started, with everything its leader started (see
// ProcessTree), should this process die before it does (kill -9, a crash): nothing a reminder
// script started outlives the application.
//
// Each watched group gets a small watchdog process, forked from the group's leader before it runs
// its program, that waits on one end of a socket whose other end only this process holds. When that
// end closes without a word, which the kernel does however this process dies, the watchdog asks the
// leader's tree to end (SIGTERM) and kills what is left after the grace period. release() says the group
// is not the watchdog's to end any more, and it goes away. The watchdog is no child of the group's
// processes (a script that waits for all its children does not wait for it) and no member of the
// group (signals to the group and counts of its members leave it out).
//
// The group must lead a session of its own. Within one session, when a process's death leaves a
// group orphaned while one of its members is stopped, the kernel hangs up on the group (SIGHUP, then
// SIGCONT). The watchdog wakes as this process dies, maybe before the kernel has done with that
// death, and stops the tree first: the hangup would then kill the leader halfway through, and what
// had left the group, adopted then by a process above the leader, would no longer be found as the
// leader's. Across sessions the kernel sends no such signal.
//
// A socket rather than the parent-death signal (PR_SET_PDEATHSIG): that signal follows the thread
// that forked rather than the process, and reaches the leader alone, not what the leader started.
//
// Main-thread only, apart from ChildSide::startWatching().
class ProcessGroupWatchdog {
public:
    // What the child needs: plain numbers, copied into the child-process modifier.
    struct ChildSide {
        int watchedEnd = -1;
        long graceMilliseconds = 0;

        // Starts the watchdog of the calling process's group, and makes the calling process the
        // child subreaper of what it will start. For the child between fork (or vfork) and exec,
        // once it leads a session of its own: only system calls, no allocation, no lock. Without a
        // socket (it could not be made) there is no watchdog.
        void startWatching() const noexcept;

    private:
        void startWatchdog() const noexcept;
    };

    // `grace`: seconds between asking the group to end and killing it.
    explicit ProcessGroupWatchdog(double grace);
    ~ProcessGroupWatchdog();
    ProcessGroupWatchdog(const ProcessGroupWatchdog&) = delete;
    ProcessGroupWatchdog& operator=(const ProcessGroupWatchdog&) = delete;

    ChildSide childSide() const { return m_child; }
    // The child has been started (or could not be): this process keeps only its own end.
    void childStarted();
    // The group is done or ended by this process: its watchdog goes away without a signal.
    void release();

    // Whether a process of the group still runs; a zombie is done.
    static bool hasLiveMembers(pid_t group);

private:
    ChildSide m_child;
    int m_ownEnd = -1;
};

} // namespace platform
