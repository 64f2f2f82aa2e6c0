#include "support/SqliteToolLock.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

SqliteToolLock::SqliteToolLock(std::string path)
    : m_path(std::move(path))
{
}

SqliteToolLock::~SqliteToolLock()
{
    release();
}

bool SqliteToolLock::available()
{
    return std::system("command -v sqlite3 >/dev/null 2>&1") == 0;
}

bool SqliteToolLock::hold(bool readersToo)
{
    release();
    int toTool[2];
    int fromTool[2];
    if (pipe(toTool) != 0 || pipe(fromTool) != 0) {
        return false;
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toTool[0], STDIN_FILENO);
        dup2(fromTool[1], STDOUT_FILENO);
        dup2(fromTool[1], STDERR_FILENO);
        close(toTool[0]);
        close(toTool[1]);
        close(fromTool[0]);
        close(fromTool[1]);
        execlp("sqlite3", "sqlite3", "-batch", m_path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toTool[0]);
    close(fromTool[1]);
    m_input = toTool[1];
    m_output = fromTool[0];
    if (m_pid < 0) {
        release();
        return false;
    }
    // Stops at the first error: a lock it could not take never reads as held.
    std::string script = ".bail on\n";
    if (readersToo) {
        script += "PRAGMA locking_mode=EXCLUSIVE;\n";
    }
    // Without readers kept out, a writer's lock: in a file with a rollback journal, as in WAL mode,
    // readers go on while other writers wait.
    script += readersToo ? "BEGIN EXCLUSIVE;\n" : "BEGIN IMMEDIATE;\n";
    return send(script) && waitFor("held");
}

bool SqliteToolLock::exec(const std::string& sql)
{
    return m_pid > 0 && send(sql + "\n") && waitFor("done");
}

bool SqliteToolLock::commitAndRelease()
{
    const bool committed = m_pid > 0 && send("COMMIT;\n") && waitFor("committed");
    stop(".quit\n");
    return committed;
}

void SqliteToolLock::release()
{
    stop("ROLLBACK;\n.quit\n");
}

void SqliteToolLock::stop(const char* last)
{
    if (m_pid > 0) {
        send(last);
        close(m_input);
        m_input = -1;
        int status = 0;
        // The tool ends once its input does; one that hangs is not waited for.
        for (int attempt = 0; attempt < 500 && waitpid(m_pid, &status, WNOHANG) == 0; ++attempt) {
            usleep(10'000);
        }
        if (waitpid(m_pid, &status, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
    if (m_output >= 0) {
        close(m_output);
        m_output = -1;
    }
    m_buffered.clear();
}

bool SqliteToolLock::send(const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(m_input, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

bool SqliteToolLock::waitFor(const std::string& marker)
{
    // Each mark is unique, so that an earlier one still buffered is never taken for it.
    const std::string line = "mark-" + std::to_string(++m_marks) + "-" + marker;
    if (!send(".print " + line + "\n")) {
        return false;
    }
    // The tool answers at once; ten seconds covers a loaded machine.
    for (int waited = 0; waited < 10'000;) {
        if (const auto found = m_buffered.find(line); found != std::string::npos) {
            const bool clean = m_buffered.find("Error") == std::string::npos
                && m_buffered.find("error") == std::string::npos;
            m_buffered.erase(0, found + line.size());
            return clean;
        }
        pollfd readable { m_output, POLLIN, 0 };
        const int ready = poll(&readable, 1, 100);
        waited += 100;
        if (ready <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = read(m_output, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        m_buffered.append(buffer, static_cast<std::size_t>(n));
    }
    return false;
}
