#include "platform/ProcessTree.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// One line of /proc/<pid>/stat.
struct Process {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    char state = 0;
    unsigned long long started = 0;

    bool isDone() const noexcept { return state == 'Z' || state == 'X'; }
};

bool parseNumber(const char*& cursor, const char* end, unsigned long long& value) noexcept
{
    while (cursor < end && *cursor == ' ') {
        ++cursor;
    }
    if (cursor == end || *cursor < '0' || *cursor > '9') {
        return false;
    }
    value = 0;
    while (cursor < end && *cursor >= '0' && *cursor <= '9') {
        value = value * 10 + static_cast<unsigned long long>(*cursor++ - '0');
    }
    return true;
}

void skipField(const char*& cursor, const char* end) noexcept
{
    while (cursor < end && *cursor == ' ') {
        ++cursor;
    }
    while (cursor < end && *cursor != ' ') {
        ++cursor;
    }
}

// "pid (name) state ppid pgrp ... starttime" (the 22nd field); the name may hold anything, up to
// the last ")".
bool readProcess(int procFolder, const char* name, Process& process) noexcept
{
    char path[64];
    const std::size_t length = std::strlen(name);
    if (length + sizeof "/stat" > sizeof path) {
        return false;
    }
    std::memcpy(path, name, length);
    std::memcpy(path + length, "/stat", sizeof "/stat");
    const int file = ::openat(procFolder, path, O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    char text[1024];
    ssize_t count = 0;
    do {
        count = ::read(file, text, sizeof text);
    } while (count < 0 && errno == EINTR);
    ::close(file);
    if (count <= 0) {
        return false;
    }
    const char* end = text + count;
    const char* close = end;
    while (close > text && close[-1] != ')') {
        --close;
    }
    if (close == text) {
        return false;
    }
    unsigned long long pid = 0;
    const char* cursor = text;
    if (!parseNumber(cursor, end, pid)) {
        return false;
    }
    cursor = close;
    while (cursor < end && *cursor == ' ') {
        ++cursor;
    }
    if (cursor == end) {
        return false;
    }
    process.pid = static_cast<pid_t>(pid);
    process.state = *cursor++;
    unsigned long long parent = 0;
    unsigned long long group = 0;
    if (!parseNumber(cursor, end, parent) || !parseNumber(cursor, end, group)) {
        return false;
    }
    // Fields 6 to 21.
    for (int field = 6; field < 22; ++field) {
        skipField(cursor, end);
    }
    if (!parseNumber(cursor, end, process.started)) {
        return false;
    }
    process.parent = static_cast<pid_t>(parent);
    process.group = static_cast<pid_t>(group);
    return true;
}

// Every process but the calling one.
template <class Visit> void forEachProcess(Visit visit) noexcept
{
    const int folder = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return;
    }
    const pid_t self = ::getpid();
    alignas(dirent64) char buffer[8192];
    for (;;) {
        const ssize_t count = ::getdents64(folder, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
                continue;
            }
            Process process;
            if (readProcess(folder, entry->d_name, process) && process.pid != self) {
                visit(process);
            }
        }
    }
    ::close(folder);
}

void pause(long milliseconds) noexcept
{
    timespec rest { milliseconds / 1000, (milliseconds % 1000) * 1000000 };
    while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) { }
}

long long monotonicMilliseconds() noexcept
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

ProcessTree::ProcessTree(pid_t root, pid_t group) noexcept
    : m_root(root)
    , m_group(group)
{
}

const ProcessTree::Noted* ProcessTree::noted(pid_t pid) const noexcept
{
    for (std::size_t index = 0; index < m_count; ++index) {
        if (m_noted[index].pid == pid) {
            return &m_noted[index];
        }
    }
    return nullptr;
}

bool ProcessTree::belongs(pid_t pid, pid_t parent, pid_t group, unsigned long long started) const noexcept
{
    if (const Noted* known = noted(pid)) {
        return known->started == started;
    }
    return pid == m_root || (m_group > 0 && group == m_group) || noted(parent) != nullptr;
}

void ProcessTree::freeze() noexcept
{
    // A tree of n generations, listed in any order, is found in at most n passes.
    for (int pass = 0; pass < 64; ++pass) {
        bool found = false;
        forEachProcess([&](const Process& process) {
            if (process.isDone() || !belongs(process.pid, process.parent, process.group, process.started)
                || noted(process.pid) != nullptr) {
                return;
            }
            ::kill(process.pid, SIGSTOP);
            if (m_count < capacity) {
                m_noted[m_count++] = { process.pid, process.started };
                found = true;
            }
        });
        if (!found) {
            return;
        }
    }
}

void ProcessTree::signal(int number) noexcept
{
    forEachProcess([&](const Process& process) {
        const Noted* known = noted(process.pid);
        if (known != nullptr && known->started == process.started && !process.isDone()) {
            ::kill(process.pid, number);
            ::kill(process.pid, SIGCONT);
        }
    });
    // What the notes could not hold.
    if (m_group > 0) {
        ::kill(-m_group, number);
        ::kill(-m_group, SIGCONT);
    }
}

bool ProcessTree::hasLiveMembers() const noexcept
{
    bool live = false;
    forEachProcess([&](const Process& process) {
        live = live
            || (!process.isDone() && belongs(process.pid, process.parent, process.group, process.started));
    });
    return live;
}

bool ProcessTree::end(std::chrono::milliseconds grace) noexcept
{
    freeze();
    signal(SIGTERM);
    const long long deadline = monotonicMilliseconds() + grace.count();
    while (hasLiveMembers()) {
        if (monotonicMilliseconds() >= deadline) {
            kill();
            return false;
        }
        pause(10);
    }
    return true;
}

void ProcessTree::kill() noexcept
{
    freeze();
    signal(SIGKILL);
}

} // namespace platform
