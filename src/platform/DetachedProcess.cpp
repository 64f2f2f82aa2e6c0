#include "platform/DetachedProcess.h"

#include "platform/ChildProcessSignals.h"
#include "platform/Logger.h"

#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

DetachedProcess::Starter& installedStarter()
{
    static DetachedProcess::Starter starter;
    return starter;
}

// What the process between this one and the program says: the program's pid, or why there is none.
struct Forked {
    pid_t pid = 0;
    int error = 0;
};

bool readWhole(int file, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t count = ::read(file, bytes, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

// Between fork and exec, in a copy of a threaded process: only system calls. The program is forked
// once more, by the system call itself, so that its parent is gone at once and it is no child of
// this process: nothing here waits for it, and it lives on when this process ends.
[[noreturn]] void startProgram(int report, const char* file, char* const* argv, const char* folder) noexcept
{
    ::setsid();
    Forked forked;
    forked.pid = static_cast<pid_t>(::syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr));
    if (forked.pid == 0) {
        ChildProcessSignals::restoreDefaults();
        if (folder[0] == '\0' || ::chdir(folder) == 0) {
            ::execve(file, argv, environ);
        }
        const int failure = errno;
        [[maybe_unused]] const ssize_t written = ::write(report, &failure, sizeof failure);
        ::_exit(127);
    }
    forked.error = forked.pid < 0 ? errno : 0;
    [[maybe_unused]] const ssize_t written = ::write(report, &forked, sizeof forked);
    ::_exit(0);
}

} // namespace

std::optional<pid_t> DetachedProcess::launch(
    const QString& program, const QStringList& arguments, const QString& workingDirectory, QString* error)
{
    const auto fail = [error](int number) -> std::optional<pid_t> {
        if (error) {
            *error = QString::fromLocal8Bit(std::strerror(number));
        }
        return std::nullopt;
    };
    // Looked for here: the child may do no more than system calls.
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        return fail(ENOENT);
    }
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(workingDirectory);
    std::vector<QByteArray> words { QFile::encodeName(program) };
    for (const QString& argument : arguments) {
        words.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    int report[2] = { -1, -1 };
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return fail(errno);
    }
    // No handler of this process may run in the child, where it would write into what this process
    // reads: every signal waits until the program's own are in place.
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(report[0]);
        startProgram(report[1], file.constData(), argv.data(), folder.constData());
    }
    const int forkFailure = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (middle < 0) {
        ::close(report[0]);
        return fail(forkFailure);
    }
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) { }
    Forked forked;
    int execFailure = 0;
    const bool told = readWhole(report[0], &forked, sizeof forked);
    // Nothing more once the program runs: the pipe closed at its exec.
    const bool failed = told && forked.error == 0 && readWhole(report[0], &execFailure, sizeof execFailure);
    ::close(report[0]);
    if (!told) {
        return fail(ECHILD);
    }
    if (forked.error != 0) {
        return fail(forked.error);
    }
    if (failed) {
        return fail(execFailure);
    }
    return forked.pid;
}

bool DetachedProcess::start(const std::string& program, const std::vector<std::string>& arguments)
{
    if (installedStarter()) {
        return installedStarter()(program, arguments);
    }
    QStringList qArguments;
    for (const auto& argument : arguments) {
        qArguments << QString::fromStdString(argument);
    }
    QString error;
    if (!launch(QString::fromStdString(program), qArguments, {}, &error)) {
        log(LogLevel::Warning, lcDesktop(), "Could not start " + program + ": " + error.toStdString());
        return false;
    }
    return true;
}

void DetachedProcess::setStarterForTesting(Starter starter)
{
    installedStarter() = std::move(starter);
}

} // namespace platform
