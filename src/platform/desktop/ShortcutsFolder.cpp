#include "platform/desktop/ShortcutsFolder.h"

#include "platform/AppFolders.h"
#include "platform/ChildProcessSignals.h"
#include "platform/Logger.h"
#include "platform/PrivateFiles.h"
#include "platform/ProcessGroupWatchdog.h"
#include "platform/ProcessTree.h"
#include "platform/RegularFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QCoro/QCoroProcess>
#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>
#include <QProcess>
#include <QPromise>
#include <QString>
#include <QThreadPool>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <coroutine>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace platform {

namespace fs = std::filesystem;

namespace {

// Larger scripts are not read to count their lines; they still run.
constexpr std::size_t maximumCountedSize = 64 * 1024;

bool isHidden(const fs::path& path)
{
    const auto name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

std::size_t countActions(const fs::path& path)
{
    const RegularFile::Read read = RegularFile::read(path, maximumCountedSize);
    if (!read.contents || read.contents->find('\0') != std::string::npos) {
        return 0;
    }
    const std::string& contents = *read.contents;
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= contents.size()) {
        auto end = contents.find('\n', start);
        if (end == std::string::npos) {
            end = contents.size();
        }
        const auto line = std::string_view(contents).substr(start, end - start);
        const auto first = line.find_first_not_of(" \t\r");
        if (first != std::string_view::npos && line[first] != '#') {
            ++count;
        }
        start = end + 1;
    }
    return count;
}

// Keeps a script's output up to maximumOutputSize and counts what it drops, so that a runaway
// script cannot fill the memory.
struct BoundedOutput {
    QByteArray data;
    std::size_t dropped = 0;

    void append(const QByteArray& chunk)
    {
        const auto room = ShortcutsFolder::maximumOutputSize - static_cast<std::size_t>(data.size());
        const auto size = static_cast<std::size_t>(chunk.size());
        if (size <= room) {
            data.append(chunk);
            return;
        }
        data.append(chunk.left(static_cast<qsizetype>(room)));
        dropped += size - room;
    }
};

// Ends a script with everything it started (its ProcessTree) while it runs, and kills them when the
// run ends in any way with the script still running (a task torn down at quit, say).
class ProcessGroupGuard {
public:
    explicit ProcessGroupGuard(QProcess& process)
        : m_process(process)
    {
    }
    ProcessGroupGuard(const ProcessGroupGuard&) = delete;
    ProcessGroupGuard& operator=(const ProcessGroupGuard&) = delete;
    ~ProcessGroupGuard()
    {
        if (m_process.state() != QProcess::NotRunning) {
            kill();
        }
    }

    // Asks the script and all it started to end.
    void terminate()
    {
        if (ProcessTree* tree = this->tree()) {
            tree->freeze();
            tree->signal(SIGTERM);
        }
    }
    bool hasLiveMembers() const { return m_tree && m_tree->hasLiveMembers(); }
    // Kills what is left of the script and all it started.
    void kill()
    {
        if (ProcessTree* tree = this->tree()) {
            tree->kill();
        }
    }

private:
    // Made once the script has a process: the group's id is the leader's, which is not reaped
    // while the process still runs.
    ProcessTree* tree()
    {
        const auto pid = static_cast<pid_t>(m_process.processId());
        if (!m_tree && pid > 0 && m_process.state() != QProcess::NotRunning) {
            m_tree = std::make_unique<ProcessTree>(pid, pid);
        }
        return m_tree.get();
    }

    QProcess& m_process;
    std::unique_ptr<ProcessTree> m_tree;
};

// The scripts running now, so that quitting can end them: a suspended run's coroutine is never
// resumed once the event loop has stopped, and its guard would never run.
class RunningScripts {
public:
    static RunningScripts& shared()
    {
        static RunningScripts running;
        return running;
    }
    // What is left when the process ends without quitting properly gets no grace.
    ~RunningScripts()
    {
        for (const Run& run : m_runs) {
            ProcessTree(run.group, run.group).kill();
        }
    }

    void add(QProcess* process, std::string name)
    {
        if (!m_watchingQuit && QCoreApplication::instance() != nullptr) {
            m_watchingQuit = true;
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                QCoreApplication::instance(), [] { ShortcutsFolder::stopAllRuns(); });
        }
        m_runs.push_back({ process, static_cast<pid_t>(process->processId()), std::move(name) });
    }
    void remove(const QProcess* process)
    {
        std::erase_if(m_runs, [process](const Run& run) { return run.process == process; });
    }
    std::size_t count() const { return m_runs.size(); }

    void stopAll(std::chrono::milliseconds grace)
    {
        const std::vector<Run> runs = std::exchange(m_runs, {});
        std::vector<std::unique_ptr<ProcessTree>> trees;
        for (const Run& run : runs) {
            log(LogLevel::Info, lcScripts(),
                fmt::format("Stopping {} (process group {}): {} is quitting", run.name, run.group,
                    QCoreApplication::applicationName().toStdString()));
            auto& tree = trees.emplace_back(std::make_unique<ProcessTree>(run.group, run.group));
            tree->freeze();
            tree->signal(SIGTERM);
        }
        // Waited for here, not through the processes: a run that finished would resume its
        // coroutine inside the wait, which then deletes the process being waited for.
        const auto deadline = std::chrono::steady_clock::now() + grace;
        for (std::size_t index = 0; index < runs.size(); ++index) {
            ProcessTree& tree = *trees[index];
            while (tree.hasLiveMembers() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (tree.hasLiveMembers()) {
                log(LogLevel::Warning, lcScripts(),
                    fmt::format("{} (process group {}) did not end within {} ms and was killed",
                        runs[index].name, runs[index].group, grace.count()));
                tree.kill();
            }
        }
    }

private:
    struct Run {
        const QProcess* process = nullptr;
        pid_t group = 0;
        std::string name;
    };
    std::vector<Run> m_runs;
    bool m_watchingQuit = false;
};

// Qt's waits take whole milliseconds; a negative or non-finite limit is no wait at all.
std::chrono::milliseconds waitTime(double seconds)
{
    if (!(seconds > 0)) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(seconds, 2.0e6) * 1000));
}

// Resumes the awaiting coroutine from the event loop once the process has left the starting
// state. QProcess::stateChanged is a private signal, whose hidden last argument a generic signal
// awaiter binds to a null reference; this slot takes only the state. Holds a plain pointer, so the
// awaiter has nothing to destroy.
struct LeftStarting {
    QProcess* process;

    bool await_ready() const { return process->state() != QProcess::Starting; }
    void await_suspend(std::coroutine_handle<> handle) const
    {
        // Two changes may already be queued when the first resumes the caller: only one does.
        struct Wait {
            QMetaObject::Connection connection;
            bool resumed = false;
        };
        auto wait = std::make_shared<Wait>();
        wait->connection = QObject::connect(
            process, &QProcess::stateChanged, process,
            [handle, wait](QProcess::ProcessState) {
                if (std::exchange(wait->resumed, true)) {
                    return;
                }
                QObject::disconnect(wait->connection);
                handle.resume();
            },
            Qt::QueuedConnection);
    }
    void await_resume() const { }
};

// How long to wait for a killed script to be reaped.
constexpr std::chrono::milliseconds killWait(5000);

std::vector<std::string> splitLines(const QByteArray& output)
{
    std::vector<std::string> lines;
    std::string text = output.toStdString();
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace

ShortcutsFolder::ShortcutsFolder(fs::path root)
    : m_root(std::move(root))
{
}

fs::path ShortcutsFolder::standardLocation()
{
    return AppFolders::dataFolder() / "shortcuts";
}

ShortcutsFolder ShortcutsFolder::standard()
{
    return ShortcutsFolder(standardLocation());
}

bool ShortcutsFolder::exists() const
{
    std::error_code error;
    return fs::is_directory(m_root, error);
}

bool ShortcutsFolder::isReadable() const
{
    return exists() && ::access(m_root.c_str(), R_OK | X_OK) == 0;
}

Uuid ShortcutsFolder::identifier(std::string_view relativePath)
{
    return Uuid::nameBased(Uuid::urlNamespace(), relativePath);
}

ShortcutsFolder::Listing ShortcutsFolder::list(bool countingActions) const
{
    Listing listing;
    std::error_code error;
    const auto rootStatus = fs::status(m_root, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        listing.status = Listing::Status::incomplete;
        listing.problem = "Cannot read " + m_root.string() + ": " + error.message();
        return listing;
    }
    if (!fs::is_directory(rootStatus)) {
        listing.status = Listing::Status::absent;
        return listing;
    }
    listing.status = Listing::Status::complete;
    const auto fail = [&listing](std::string problem) {
        if (listing.status == Listing::Status::complete) {
            listing.status = Listing::Status::incomplete;
            listing.problem = std::move(problem);
        }
    };

    // Each folder on its own, so that one unreadable sub-folder is noted and the rest still listed.
    std::vector<fs::path> pending { m_root };
    while (!pending.empty()) {
        const fs::path folder = std::move(pending.back());
        pending.pop_back();
        fs::directory_iterator it(folder, error);
        if (error) {
            fail("Cannot list " + folder.string() + ": " + error.message());
            continue;
        }
        for (; it != fs::directory_iterator(); it.increment(error)) {
            if (error) {
                break;
            }
            const auto& item = *it;
            if (isHidden(item.path())) {
                continue;
            }
            std::error_code itemError;
            const auto status = item.status(itemError);
            if (itemError) {
                // A link to nothing is no shortcut; anything else unreadable may be one.
                if (itemError != std::errc::no_such_file_or_directory) {
                    fail("Cannot read " + item.path().string() + ": " + itemError.message());
                }
                continue;
            }
            if (fs::is_directory(status)) {
                // Links to folders are followed only when they cannot lead back up into a loop.
                if (!item.is_symlink(itemError)) {
                    pending.push_back(item.path());
                }
                continue;
            }
            if (!fs::is_regular_file(status) || ::access(item.path().c_str(), X_OK) != 0) {
                continue;
            }
            const auto relative = item.path().lexically_relative(m_root);
            Entry entry;
            entry.relativePath = relative.generic_string();
            entry.name = relative.stem().string();
            if (relative.has_parent_path()) {
                entry.folderRelativePath = relative.parent_path().generic_string();
                entry.folderName = relative.parent_path().filename().string();
            }
            if (countingActions) {
                entry.actionCount = countActions(item.path());
            }
            listing.entries.push_back(std::move(entry));
        }
        if (error) {
            fail("Cannot list all of " + folder.string() + ": " + error.message());
        }
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
        [](const Entry& a, const Entry& b) { return a.relativePath < b.relativePath; });
    if (!listing.isComplete()) {
        log(LogLevel::Warning, lcScripts(), listing.problem);
    }
    return listing;
}

std::size_t ShortcutsFolder::actionCount(std::string_view relativePath) const
{
    const auto path = resolved(relativePath);
    return path ? countActions(*path) : 0;
}

QCoro::Task<ShortcutsFolder::Listing> ShortcutsFolder::listInBackground(bool countingActions) const
{
    auto promise = std::make_shared<QPromise<Listing>>();
    auto future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([folder = *this, promise, countingActions] {
        promise->addResult(folder.list(countingActions));
        promise->finish();
    });
    co_return co_await future;
}

std::vector<ShortcutsFolder::Entry> ShortcutsFolder::entries() const
{
    return list(true).entries;
}

std::optional<ShortcutsFolder::Entry> ShortcutsFolder::entry(const Uuid& wanted) const
{
    for (auto& entry : list().entries) {
        if (identifier(entry.relativePath) == wanted) {
            entry.actionCount = actionCount(entry.relativePath);
            return std::move(entry);
        }
    }
    return std::nullopt;
}

std::optional<fs::path> ShortcutsFolder::resolved(std::string_view relativePath) const
{
    const fs::path relative = fs::path(relativePath).lexically_normal();
    if (relative.empty() || relative.is_absolute()) {
        return std::nullopt;
    }
    for (const auto& part : relative) {
        if (part == "..") {
            return std::nullopt;
        }
    }
    return m_root / relative;
}

QCoro::Task<ShortcutsFolder::RunResult> ShortcutsFolder::run(
    std::string relativePath, std::optional<std::string> input) const
{
    return run(std::move(relativePath), std::move(input), RunLimits {});
}

QCoro::Task<ShortcutsFolder::RunResult> ShortcutsFolder::run(
    std::string relativePath, std::optional<std::string> input, RunLimits limits) const
{
    RunResult result;
    const auto path = resolved(relativePath);
    if (!path) {
        result.failure = "\"" + relativePath + "\" is not inside the shortcuts folder";
        co_return result;
    }
    auto process = std::make_unique<QProcess>();
    process->setProgram(QString::fromStdString(path->string()));
    process->setWorkingDirectory(QString::fromStdString(path->parent_path().string()));
    // A group of its own, so that stopping the script also stops what it started; ended by its
    // watchdog should the application die before the script does. The group leads a session of
    // its own, as the watchdog needs.
    ProcessGroupWatchdog watchdog(limits.terminationGrace);
    ChildProcessSignals::applyTo(*process, [watch = watchdog.childSide()] {
        ::setsid();
        watch.startWatching();
    });
    // Whatever happens to this run, nothing it started outlives it.
    ProcessGroupGuard guard(*process);

    auto output = std::make_shared<BoundedOutput>();
    auto errorOutput = std::make_shared<BoundedOutput>();
    QObject::connect(process.get(), &QProcess::readyReadStandardOutput, process.get(),
        [raw = process.get(), output] { output->append(raw->readAllStandardOutput()); });
    QObject::connect(process.get(), &QProcess::readyReadStandardError, process.get(),
        [raw = process.get(), errorOutput] { errorOutput->append(raw->readAllStandardError()); });

    // Qt's own wait for the start listens only for success; a script that cannot be started
    // would keep it waiting for its whole timeout.
    process->start(QIODevice::ReadWrite);
    watchdog.childStarted();
    // Known from the fork on, so that quitting before the script is under way still ends it.
    if (process->processId() > 0) {
        RunningScripts::shared().add(process.get(), relativePath);
    }
    struct Unlisted {
        const QProcess* process;
        ~Unlisted() { RunningScripts::shared().remove(process); }
    } unlisted { process.get() };
    while (process->state() == QProcess::Starting) {
        co_await LeftStarting { process.get() };
    }
    if (process->state() != QProcess::Running) {
        result.failure = "Could not start " + relativePath + ": " + process->errorString().toStdString();
        co_return result;
    }

    if (input) {
        process->write(input->data(), static_cast<qint64>(input->size()));
    }
    process->closeWriteChannel();

    co_await qCoro(*process).waitForFinished(waitTime(limits.timeLimit));
    if (process->state() != QProcess::NotRunning) {
        result.timedOut = true;
        guard.terminate();
        const auto deadline = std::chrono::steady_clock::now() + waitTime(limits.terminationGrace);
        co_await qCoro(*process).waitForFinished(waitTime(limits.terminationGrace));
        // What it started outside its group may still be ending.
        while (guard.hasLiveMembers() && std::chrono::steady_clock::now() < deadline) {
            co_await QCoro::sleepFor(std::chrono::milliseconds(10));
        }
        guard.kill();
        if (process->state() != QProcess::NotRunning) {
            co_await qCoro(*process).waitForFinished(killWait);
        }
    }
    output->append(process->readAllStandardOutput());
    errorOutput->append(process->readAllStandardError());

    result.outputLines = splitLines(output->data);
    if (output->dropped > 0) {
        log(LogLevel::Warning, lcScripts(),
            relativePath + " wrote more than " + std::to_string(maximumOutputSize) + " bytes; "
                + std::to_string(output->dropped) + " bytes of its output were dropped");
    }
    if (!errorOutput->data.isEmpty()) {
        log(LogLevel::Debug, lcScripts(), relativePath + " wrote: " + errorOutput->data.toStdString());
    }
    if (result.timedOut) {
        result.failure = relativePath + " did not finish within " + fmt::format("{:g}", limits.timeLimit)
            + " s and was stopped";
    } else if (process->exitStatus() != QProcess::NormalExit) {
        result.failure = relativePath + " ended abnormally";
    } else if (process->exitCode() != 0) {
        result.failure = relativePath + " exited with status " + std::to_string(process->exitCode());
    } else {
        result.succeeded = true;
    }
    co_return result;
}

void ShortcutsFolder::stopAllRuns(double grace)
{
    RunningScripts::shared().stopAll(waitTime(grace));
}

std::size_t ShortcutsFolder::runningCount()
{
    return RunningScripts::shared().count();
}

std::string ShortcutsFolder::templateText()
{
    return "#!/bin/sh\n"
           "# Kiruvo runs this script at every break reminder you chose it for.\n"
           "# Whatever it is given arrives on standard input; each line it prints is one result.\n"
           "\n"
           "echo \"Time for a break\"\n";
}

namespace {

// Writes all of `text` to `fd`, through short writes and interruptions.
bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Gives the finished file `from` the name `to` unless something has that name already; errno
// EEXIST then. A file system without an exclusive rename gets a hard link, which is as exclusive.
bool renameExclusively(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

} // namespace

std::optional<std::string> ShortcutsFolder::createTemplate(
    std::string_view baseName, std::string* problem) const
{
    const auto fail = [problem](const std::string& reason) -> std::optional<std::string> {
        log(LogLevel::Warning, lcScripts(), reason);
        if (problem) {
            *problem = reason;
        }
        return std::nullopt;
    };
    std::error_code error;
    if (!PrivateFiles::createFolders(m_root, error)) {
        return fail("Cannot create " + m_root.string() + ": " + error.message());
    }
    std::string base(baseName);
    std::replace(base.begin(), base.end(), '/', '-');
    if (base.empty() || base.front() == '.') {
        base.insert(0, "Shortcut");
    }
    // Written whole under a hidden name first, which no listing shows, and only then given its
    // name: a script is never listed or run half-written, and a failed write leaves nothing behind.
    std::string temporary = (m_root / ("." + base + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail("Cannot write in " + m_root.string() + ": " + std::strerror(errno));
    }
    const bool written = writeAll(fd, templateText()) && ::fchmod(fd, 0755) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const int cause = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return fail("Cannot write " + temporary + ": " + std::strerror(cause));
    }
    for (int number = 1; number < 1000; ++number) {
        const std::string fileName = number == 1 ? base + ".sh" : base + " " + std::to_string(number) + ".sh";
        // Never over a script the user already has.
        if (renameExclusively(temporary, m_root / fileName)) {
            return fileName;
        }
        if (errno != EEXIST) {
            const int cause = errno;
            ::unlink(temporary.c_str());
            return fail("Cannot name " + (m_root / fileName).string() + ": " + std::strerror(cause));
        }
    }
    ::unlink(temporary.c_str());
    return fail("Every name for " + base + ".sh in " + m_root.string() + " is taken");
}

} // namespace platform
