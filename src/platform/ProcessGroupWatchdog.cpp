#include "platform/ProcessGroupWatchdog.h"

#include "platform/ChildProcessSignals.h"
#include "platform/Logger.h"
#include "platform/ProcessTree.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

// A new process sharing nothing with its parent, made with the system call itself: the caller may
// be a vfork child that shares the parent's memory, where the C library's fork must not run.
// `exitSignal` 0 tells the parent nothing when it ends.
long cloneProcess(int exitSignal) noexcept
{
    return ::syscall(SYS_clone, static_cast<unsigned long>(exitSignal), nullptr, nullptr, nullptr, nullptr);
}

void closeAllBut(int kept) noexcept
{
#ifdef SYS_close_range
    const bool below = kept == 0 || ::syscall(SYS_close_range, 0u, static_cast<unsigned>(kept - 1), 0u) == 0;
    if (below && ::syscall(SYS_close_range, static_cast<unsigned>(kept + 1), ~0u, 0u) == 0) {
        return;
    }
#endif
    rlimit limit {};
    const rlim_t count
        = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? limit.rlim_cur : 65536;
    for (rlim_t fd = 0; fd < count; ++fd) {
        if (static_cast<int>(fd) != kept) {
            ::close(static_cast<int>(fd));
        }
    }
}

[[noreturn]] void watch(pid_t group, int watchedEnd, long graceMilliseconds) noexcept
{
    // A group of its own: signals to the watched group, and counts of its members, leave it out.
    ::setpgid(0, 0);
    ::chdir("/");
    // None of the application's handlers or blocked signals.
    ChildProcessSignals::restoreDefaults();
    closeAllBut(watchedEnd);

    char word = 0;
    ssize_t count = 0;
    do {
        count = ::read(watchedEnd, &word, 1);
    } while (count < 0 && errno == EINTR);
    if (count == 1) {
        ::_exit(0); // released
    }
    // The application is gone without ending the script: it ends with all it started, in its group
    // or not.
    ProcessTree(group, group).end(std::chrono::milliseconds(graceMilliseconds));
    ::_exit(0);
}

} // namespace

void ProcessGroupWatchdog::ChildSide::startWatching() const noexcept
{
    if (watchedEnd >= 0) {
        startWatchdog();
    }
    // From here on the script adopts the orphans of whatever it starts (the setting outlives the
    // exec), so that none leaves its tree while it runs; the watchdog, made before, is no child of
    // it.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1UL, 0UL, 0UL, 0UL);
}

void ProcessGroupWatchdog::ChildSide::startWatchdog() const noexcept
{
    const auto group = static_cast<pid_t>(::syscall(SYS_getpid));
    // Forked twice, so that the watchdog is no child of the group's leader: a script that waits for
    // all its children must not wait for it.
    const long first = cloneProcess(0);
    if (first == 0) {
        if (cloneProcess(SIGCHLD) == 0) {
            watch(group, watchedEnd, graceMilliseconds);
        }
        ::_exit(0);
    }
    if (first > 0) {
        int status = 0;
        while (::waitpid(static_cast<pid_t>(first), &status, __WALL) < 0 && errno == EINTR) { }
    }
}

ProcessGroupWatchdog::ProcessGroupWatchdog(double grace)
{
    int ends[2] = { -1, -1 };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        log(LogLevel::Warning, lcScripts(),
            "No watchdog for a script: " + std::error_code(errno, std::generic_category()).message()
                + "; it would outlive a crash of the application");
        return;
    }
    m_ownEnd = ends[0];
    m_child.watchedEnd = ends[1];
    const double milliseconds = std::isfinite(grace) ? std::clamp(grace * 1000.0, 0.0, 3.6e6) : 0.0;
    m_child.graceMilliseconds = static_cast<long>(milliseconds);
}

ProcessGroupWatchdog::~ProcessGroupWatchdog()
{
    release();
    childStarted();
}

void ProcessGroupWatchdog::childStarted()
{
    if (m_child.watchedEnd >= 0) {
        ::close(m_child.watchedEnd);
        m_child.watchedEnd = -1;
    }
}

void ProcessGroupWatchdog::release()
{
    if (m_ownEnd < 0) {
        return;
    }
    const char word = 'r';
    ::send(m_ownEnd, &word, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(m_ownEnd);
    m_ownEnd = -1;
}

bool ProcessGroupWatchdog::hasLiveMembers(pid_t group)
{
    if (group <= 0 || (::kill(-group, 0) != 0 && errno != EPERM)) {
        return false;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream stream(it->path() / "stat");
        std::string stat;
        std::getline(stream, stat);
        // "pid (name) state ppid pgrp ...": the name may hold anything, up to the last ")".
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        char state = 0;
        long parent = 0;
        long processGroup = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld", &state, &parent, &processGroup) == 3
            && processGroup == group && state != 'Z' && state != 'X') {
            return true;
        }
    }
    return false;
}

} // namespace platform
