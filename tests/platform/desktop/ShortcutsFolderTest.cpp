#include "platform/desktop/ShortcutsFolder.h"
#include "platform/Logger.h"
#include "platform/ProcessGroupWatchdog.h"
#include "support/ApplicationSignals.h"

#include <QCoreApplication>

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using platform::ShortcutsFolder;
using ListingStatus = ShortcutsFolder::Listing::Status;

namespace {

class ShortcutsFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    fs::path root() const { return fs::path(m_dir.path().toStdString()) / "shortcuts"; }
    ShortcutsFolder folder() const { return ShortcutsFolder(root()); }

    void write(const std::string& relativePath, const std::string& text, bool executable = true)
    {
        const auto path = root() / relativePath;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
        fs::permissions(
            path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    }

    // A limit short enough that a hung script costs the test a fraction of a second. The bounds the
    // tests put on the time a run takes are far above it, as a loaded machine or a sanitizer build
    // starts a shell slowly, yet far below the scripts' own end (30 s).
    static ShortcutsFolder::RunLimits shortLimits() { return { 0.3, 0.3 }; }

    // The state in /proc/<pid>/stat ('S', 'T' stopped, 'Z' a zombie, ...); 0 for no process.
    static char stateOf(pid_t pid)
    {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) {
            return 0;
        }
        const auto afterName = line.rfind(')');
        return afterName != std::string::npos && line.size() > afterName + 2 ? line[afterName + 2] : 0;
    }
    // Running, and not a zombie waiting for a parent that may never reap it.
    static bool isAlive(pid_t pid)
    {
        const char state = stateOf(pid);
        return state != 0 && state != 'Z' && state != 'X';
    }
    static void awaitStopped(pid_t pid)
    {
        QElapsedTimer stopping;
        stopping.start();
        while (stateOf(pid) != 'T' && stopping.elapsed() < 60000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(stateOf(pid), 'T') << pid;
    }
    // The watchdog of the script an application hosts: forked from this program and never exec'd,
    // it is the process besides the application that runs this program with its environment.
    static pid_t watchdogOf(pid_t application, const std::string& environmentEntry)
    {
        std::error_code error;
        const fs::path program = fs::canonical(QCoreApplication::applicationFilePath().toStdString(), error);
        for (fs::directory_iterator it("/proc", error); !error && it != fs::directory_iterator();
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            std::error_code unreadable;
            if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == application
                || fs::read_symlink(it->path() / "exe", unreadable) != program) {
                continue;
            }
            std::ifstream environment(it->path() / "environ");
            for (std::string entry; std::getline(environment, entry, '\0');) {
                if (entry == environmentEntry) {
                    return std::stoi(name);
                }
            }
        }
        return 0;
    }

    // A script whose children leave its process group, one by starting a session of its own, one
    // as a job of its own (job control), one as a daemon whose parent ended at once; it writes their
    // pids, one a line, to "<name>.pids" and waits. Bash: dash has no job control without a terminal.
    static std::string leavingScript(const std::string& name)
    {
        return "#!/bin/bash\n"
               "setsid sleep 300 &\necho \"$!\" >> "
            + name + ".pids\nsh -c 'setsid sleep 300 & echo \"$!\" >> " + name
            + ".pids'\nset -m\nsleep 300 &\necho \"$!\" >> " + name + ".pids\nwait\n";
    }
    std::vector<pid_t> pidsIn(const std::string& name) const
    {
        std::vector<pid_t> pids;
        std::ifstream file(root() / name);
        for (pid_t pid = 0; file >> pid;) {
            pids.push_back(pid);
        }
        return pids;
    }
    // Each ends; the kernel finishes an exit on its own time.
    static void expectAllEnd(const std::vector<pid_t>& pids)
    {
        QElapsedTimer reaped;
        reaped.start();
        for (const pid_t pid : pids) {
            while (isAlive(pid) && reaped.elapsed() < 30000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            EXPECT_FALSE(isAlive(pid)) << pid << " outlived the run";
            ::kill(pid, SIGKILL);
        }
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(ShortcutsFolderTest, listsExecutableScriptsWithTheirFoldersAndLeavesOtherFilesOut)
{
    write("stretch.sh", "#!/bin/sh\necho stretch\n");
    write("Breaks/Evening/walk.sh", "#!/bin/sh\n# a comment\n\necho walk\necho done\n");
    write("notes.txt", "not a script\n", false);
    fs::create_directories(root() / "Empty");

    const auto listing = folder().list(true);
    EXPECT_EQ(listing.status, ListingStatus::complete);
    ASSERT_EQ(listing.entries.size(), 2u);
    const auto& walk = listing.entries[0];
    EXPECT_EQ(walk.relativePath, "Breaks/Evening/walk.sh");
    EXPECT_EQ(walk.name, "walk");
    EXPECT_EQ(walk.folderRelativePath, std::optional<std::string>("Breaks/Evening"));
    EXPECT_EQ(walk.folderName, "Evening");
    EXPECT_EQ(walk.actionCount, 2u);
    EXPECT_EQ(folder().entry(ShortcutsFolder::identifier("Breaks/Evening/walk.sh"))->actionCount, 2u);
    // Unless asked, a listing reads names and types only.
    EXPECT_EQ(folder().list().entries[0].actionCount, 0u);
    EXPECT_EQ(listing.entries[1].relativePath, "stretch.sh");
    EXPECT_FALSE(listing.entries[1].folderRelativePath);

    // The same listing from a worker thread.
    const auto background = QCoro::waitFor(folder().listInBackground());
    EXPECT_EQ(background.status, ListingStatus::complete);
    ASSERT_EQ(background.entries.size(), 2u);
    EXPECT_EQ(background.entries[0].relativePath, "Breaks/Evening/walk.sh");

    // A file that is not executable is not listed, and cannot be run either.
    const auto result = QCoro::waitFor(folder().run("notes.txt", std::nullopt));
    EXPECT_FALSE(result.succeeded);
    EXPECT_FALSE(result.timedOut);
    EXPECT_FALSE(result.failure.empty());
}

TEST_F(ShortcutsFolderTest, aNewScriptThatCannotBeWrittenWholeLeavesNothingBehind)
{
    write("keep.sh", "#!/bin/sh\necho keep\n");
    // A disk that fills up half-way through the template, as a file-size limit makes it: the
    // writes past the limit fail (with the signal that would end the process ignored).
    struct rlimit previous { };
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = previous;
    small.rlim_cur = 24;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string problem;
    const auto created = folder().createTemplate("New Script", &problem);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(created);
    EXPECT_FALSE(problem.empty());
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(root())) {
        names.push_back(item.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string> { "keep.sh" });

    // With room, it is there whole and runnable, and the user's script is left as it was.
    const auto written = folder().createTemplate("keep");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, "keep 2.sh");
    std::ifstream text(root() / *written);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(text), {}), ShortcutsFolder::templateText());
    EXPECT_NE(fs::status(root() / *written).permissions() & fs::perms::owner_exec, fs::perms::none);
    std::ifstream kept(root() / "keep.sh");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "#!/bin/sh\necho keep\n");
}

TEST_F(ShortcutsFolderTest, scriptsThatAreNoRegularFilesOrTooLargeAreListedButNotRead)
{
    write("big.sh", "#!/bin/sh\necho big\n");
    fs::resize_file(root() / "big.sh", 1024 * 1024);
    fs::create_directories(root());
    // A FIFO would keep a reader waiting for good, and /dev/zero never ends.
    ASSERT_EQ(::mkfifo((root() / "pipe.sh").c_str(), 0700), 0);
    fs::create_symlink("/dev/zero", root() / "zero.sh");
    const auto listing = folder().list(true);
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].relativePath, "big.sh");
    EXPECT_EQ(listing.entries[0].actionCount, 0u);
    EXPECT_EQ(folder().actionCount("pipe.sh"), 0u);
    EXPECT_EQ(folder().actionCount("zero.sh"), 0u);
}

TEST_F(ShortcutsFolderTest, tellsAnAbsentFolderAndAnIncompleteListingFromACompleteOne)
{
    EXPECT_EQ(folder().list().status, ListingStatus::absent);
    fs::create_directories(root().parent_path());
    std::ofstream(root()) << "a file where the folder should be";
    EXPECT_EQ(folder().list().status, ListingStatus::absent);
    fs::remove(root());

    write("stretch.sh", "#!/bin/sh\n");
    EXPECT_EQ(folder().list().status, ListingStatus::complete);
    // A link to nothing is no shortcut and no fault.
    fs::create_symlink(root() / "gone.sh", root() / "dangling.sh");
    EXPECT_EQ(folder().list().status, ListingStatus::complete);

    // An item that cannot be read may be a shortcut: the listing says it is not complete, and
    // still lists what it could read.
    fs::create_symlink(root() / "loop.sh", root() / "loop.sh");
    const auto listing = folder().list();
    EXPECT_EQ(listing.status, ListingStatus::incomplete);
    EXPECT_FALSE(listing.problem.empty());
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].relativePath, "stretch.sh");
    fs::remove(root() / "loop.sh");

    if (::geteuid() != 0) { // root reads every folder
        write("Locked/hidden.sh", "#!/bin/sh\n");
        fs::permissions(root() / "Locked", fs::perms::none);
        EXPECT_EQ(folder().list().status, ListingStatus::incomplete);
        fs::permissions(root() / "Locked", fs::perms::owner_all);
    }
}

TEST_F(ShortcutsFolderTest, aScriptThatHangsIsStoppedAtTheTimeLimitWithWhatItWrote)
{
    write("hangs.sh", "#!/bin/sh\necho started\nexec sleep 30\n");
    QElapsedTimer elapsed;
    elapsed.start();
    const auto result = QCoro::waitFor(folder().run("hangs.sh", std::nullopt, shortLimits()));
    EXPECT_LT(elapsed.elapsed(), 10000) << "well before the script's own end";
    EXPECT_FALSE(result.succeeded);
    EXPECT_TRUE(result.timedOut);
    EXPECT_NE(result.failure.find("did not finish within 0.3 s"), std::string::npos) << result.failure;
    EXPECT_EQ(result.outputLines, std::vector<std::string> { "started" });
}

TEST_F(ShortcutsFolderTest, aScriptThatIgnoresTheRequestToEndIsKilledWithWhatItStarted)
{
    // The script, the child it waits for and one that left its session all ignore SIGTERM.
    write("stubborn.sh",
        "#!/bin/sh\ntrap '' TERM\nsetsid sleep 300 &\necho \"$!\" > escaped\nsleep 30 &\necho \"$!\" > "
        "child\n"
        "echo waiting\nwait\necho never\n");
    QElapsedTimer elapsed;
    elapsed.start();
    const auto result = QCoro::waitFor(folder().run("stubborn.sh", std::nullopt, shortLimits()));
    EXPECT_LT(elapsed.elapsed(), 10000) << "well before the script's own end";
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.outputLines, std::vector<std::string> { "waiting" });

    for (const char* name : { "child", "escaped" }) {
        pid_t child = 0;
        std::ifstream(root() / name) >> child;
        ASSERT_GT(child, 0) << name;
        // Killed when the script was; the kernel finishes the child's exit on its own time.
        QElapsedTimer reaped;
        reaped.start();
        while (isAlive(child) && reaped.elapsed() < 30000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_FALSE(isAlive(child)) << "what the script started is stopped with it: " << name;
        ::kill(child, SIGKILL);
    }
}

TEST_F(ShortcutsFolderTest, quittingEndsEveryRunningScriptWithWhatItStarted)
{
    // One that ends when asked, one that ignores the request; each waits for a child of its own.
    write("sleeps.sh", "#!/bin/sh\nsleep 30 &\necho \"$!\" > sleeps.child\nwait\n");
    write("stubborn.sh", "#!/bin/sh\ntrap '' TERM\nsleep 30 &\necho \"$!\" > stubborn.child\nwait\n");
    // One whose children leave its process group: a new session, a job of its own, and a daemon
    // whose parent has gone.
    write("leaves.sh", leavingScript("leaves"));
    platform::LogCapture log;
    auto polite = folder().run("sleeps.sh", std::nullopt);
    auto stubborn = folder().run("stubborn.sh", std::nullopt);
    auto leaving = folder().run("leaves.sh", std::nullopt);
    QElapsedTimer started;
    started.start();
    while ((pidsIn("sleeps.child").empty() || pidsIn("stubborn.child").empty()
               || pidsIn("leaves.pids").size() < 3)
        && started.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    std::vector<pid_t> children = pidsIn("leaves.pids");
    ASSERT_EQ(children.size(), 3u);
    ASSERT_EQ(pidsIn("sleeps.child").size(), 1u);
    ASSERT_EQ(pidsIn("stubborn.child").size(), 1u);
    children.push_back(pidsIn("sleeps.child").front());
    children.push_back(pidsIn("stubborn.child").front());
    EXPECT_EQ(ShortcutsFolder::runningCount(), 3u);

    QElapsedTimer stopping;
    stopping.start();
    ShortcutsFolder::stopAllRuns(0.5);
    EXPECT_LT(stopping.elapsed(), 10000) << "well before the scripts' own end";
    EXPECT_EQ(ShortcutsFolder::runningCount(), 0u);
    expectAllEnd(children);
    EXPECT_EQ(log.countContaining("Stopping sleeps.sh"), 1);
    EXPECT_EQ(log.countContaining("Stopping stubborn.sh"), 1);
    EXPECT_EQ(log.countContaining("stubborn.sh (process group"), 2)
        << "the one that had to be killed says so";

    // The runs end as failed ones once the event loop turns again.
    EXPECT_FALSE(QCoro::waitFor(polite).succeeded);
    EXPECT_FALSE(QCoro::waitFor(stubborn).succeeded);
    EXPECT_FALSE(QCoro::waitFor(leaving).succeeded);
}

// The test program stands in for the application: run again with KIRUVO_TEST_HOSTED_SCRIPT naming
// a script, it runs the script as the application does and is killed while the script runs.
TEST_F(ShortcutsFolderTest, aScriptAndWhatItStartedEndWhenTheApplicationIsKilled)
{
    const QByteArray hosted = qgetenv("KIRUVO_TEST_HOSTED_SCRIPT");
    if (!hosted.isEmpty()) {
        const fs::path script = hosted.toStdString();
        const ShortcutsFolder::RunLimits limits { 300, 0.3 };
        QCoro::waitFor(
            ShortcutsFolder(script.parent_path()).run(script.filename().string(), std::nullopt, limits));
        return;
    }
    // One ends when asked; another, and the child it waits for, ignore the request and are killed;
    // the children of the last two left their process group. The last is stopped, and its watchdog
    // with it, when the application is killed: so it is when the watchdog, woken by the
    // application's death, has stopped the script before the kernel is done with that death, and a
    // loaded machine then keeps the watchdog waiting.
    write("lingers.sh",
        "#!/bin/sh\nsleep 300 &\necho \"$!\" > lingers.pids\necho \"$$\" > lingers.started\nwait\n");
    write("stubborn.sh",
        "#!/bin/sh\ntrap '' TERM\nsleep 300 &\necho \"$!\" > stubborn.pids\necho \"$$\" > "
        "stubborn.started\nwait\n");
    std::string leaves = leavingScript("leaves");
    leaves.insert(leaves.rfind("wait\n"), "echo \"$$\" > leaves.started\n");
    write("leaves.sh", leaves);
    std::string stopped = leavingScript("stopped");
    stopped.insert(stopped.rfind("wait\n"), "echo \"$$\" > stopped.started\n");
    write("stopped.sh", stopped);
    struct Case {
        std::string name;
        std::size_t children;
        bool stoppedFirst;
    };
    for (const auto& [name, children, stoppedFirst] : { Case { "lingers", 1, false },
             Case { "stubborn", 1, false }, Case { "leaves", 3, false }, Case { "stopped", 3, true } }) {
        QProcess application;
        auto environment = QProcessEnvironment::systemEnvironment();
        const std::string script = (root() / (name + ".sh")).string();
        environment.insert(QStringLiteral("KIRUVO_TEST_HOSTED_SCRIPT"), QString::fromStdString(script));
        application.setProcessEnvironment(environment);
        application.setProcessChannelMode(QProcess::ForwardedChannels);
        application.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral(
                "--gtest_filter=ShortcutsFolderTest.aScriptAndWhatItStartedEndWhenTheApplicationIsKilled") });
        ASSERT_TRUE(application.waitForStarted(10000));
        QElapsedTimer started;
        started.start();
        while ((pidsIn(name + ".started").empty() || pidsIn(name + ".pids").size() < children)
            && started.elapsed() < 60000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(pidsIn(name + ".started").size(), 1u) << name << " did not start";
        const pid_t group = pidsIn(name + ".started").front();
        const std::vector<pid_t> pids = pidsIn(name + ".pids");
        ASSERT_EQ(pids.size(), children);

        pid_t watchdog = 0;
        if (stoppedFirst) {
            watchdog = watchdogOf(
                static_cast<pid_t>(application.processId()), "KIRUVO_TEST_HOSTED_SCRIPT=" + script);
            ASSERT_GT(watchdog, 0) << "no watchdog for " << name;
            ::kill(watchdog, SIGSTOP);
            ::kill(group, SIGSTOP);
            awaitStopped(watchdog);
            awaitStopped(group);
        }
        ::kill(static_cast<pid_t>(application.processId()), SIGKILL);
        application.waitForFinished(10000);
        if (stoppedFirst) {
            // The application has been reaped: what its death did to the script is done. Let the
            // watchdog go on once the script has either ended or stayed stopped.
            QElapsedTimer settled;
            settled.start();
            while (isAlive(group) && stateOf(group) != 'T' && settled.elapsed() < 60000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ::kill(watchdog, SIGCONT);
        }
        QElapsedTimer ended;
        ended.start();
        while (platform::ProcessGroupWatchdog::hasLiveMembers(group) && ended.elapsed() < 60000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_FALSE(platform::ProcessGroupWatchdog::hasLiveMembers(group))
            << name << " outlived the application that ran it";
        expectAllEnd(pids);
        ::kill(-group, SIGKILL);
    }
}

TEST_F(ShortcutsFolderTest, aScriptReadsItsInputAndAnswersItsOutputWithinTheLimit)
{
    write("Breaks/upper.sh", "#!/bin/sh\ntr a-z A-Z\npwd\n");
    const auto result
        = QCoro::waitFor(folder().run("Breaks/upper.sh", std::string("one\ntwo\n"), shortLimits()));
    EXPECT_TRUE(result.succeeded) << result.failure;
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.outputLines,
        (std::vector<std::string> { "ONE", "TWO", fs::canonical(root() / "Breaks").string() }))
        << "runs in its own folder";

    write("fails.sh", "#!/bin/sh\necho partial\nexit 3\n");
    const auto failed = QCoro::waitFor(folder().run("fails.sh", std::nullopt));
    EXPECT_FALSE(failed.succeeded);
    EXPECT_FALSE(failed.timedOut);
    EXPECT_EQ(failed.outputLines, std::vector<std::string> { "partial" });
    EXPECT_NE(failed.failure.find("status 3"), std::string::npos) << failed.failure;
}

TEST_F(ShortcutsFolderTest, aScriptStartsWithTheSignalsOfANewProcess)
{
    // As cat, which changes none; a shell would show its own.
    write("signals.sh", "#!/bin/sh\nexec cat /proc/self/status\n");
    ShortcutsFolder::RunResult result;
    {
        const ApplicationSignals applicationSignals;
        result = QCoro::waitFor(folder().run("signals.sh", std::nullopt));
    }
    ASSERT_TRUE(result.succeeded) << result.failure;
    QByteArray status;
    for (const auto& line : result.outputLines) {
        status += QByteArray::fromStdString(line) + '\n';
    }
    EXPECT_EQ(SignalMasks::parse(status), SignalMasks {}) << status.toStdString();
}

TEST_F(ShortcutsFolderTest, keepsOnlyABoundedShareOfARunawayScriptsOutput)
{
    // Twice the kept size, in lines of 1 KiB.
    const auto lines = 2 * ShortcutsFolder::maximumOutputSize / 1024;
    write("floods.sh",
        "#!/bin/sh\nline=$(printf '%01023d' 0)\ni=0\nwhile [ $i -lt " + std::to_string(lines)
            + " ]; do echo \"$line\"; i=$((i+1)); done\n");
    const auto result = QCoro::waitFor(folder().run("floods.sh", std::nullopt, { 20, 1 }));
    EXPECT_TRUE(result.succeeded) << result.failure;
    std::size_t kept = 0;
    for (const auto& line : result.outputLines) {
        kept += line.size() + 1;
    }
    EXPECT_LE(kept, ShortcutsFolder::maximumOutputSize + 1);
    EXPECT_GE(kept, ShortcutsFolder::maximumOutputSize - 1024);
}

} // namespace
