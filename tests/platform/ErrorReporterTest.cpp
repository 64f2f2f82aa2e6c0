#include "platform/ErrorReporter.h"

#include "platform/fake/FakeClock.h"
#include "platform/store/JsonWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::ErrorEvent;
using platform::ErrorReporter;

namespace {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "kiruvo-reporter-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

std::vector<platform::JsonValue> readLines(const fs::path& file)
{
    std::vector<platform::JsonValue> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        auto parsed = platform::JsonReader::parse(line);
        EXPECT_TRUE(parsed) << line;
        if (parsed) {
            lines.push_back(*parsed);
        }
    }
    return lines;
}

ErrorEvent sampleEvent(std::string message = "The file could not be saved.")
{
    ErrorEvent event;
    event.domain = "zk.GeneralError.GeneralError";
    event.code = -4242;
    event.message = std::move(message);
    event.userInfo = { { "codeString", "GeneralError" }, { "file", "app/Export.cpp" }, { "line", "12" } };
    event.file = "app/Export.cpp";
    event.line = 12;
    return event;
}

} // namespace

TEST(ErrorReporterTest, EachCaptureIsOneJsonLine)
{
    TempDir dir;
    platform::fake::ScopedFakeClock clock(platform::Date::fromUnixTime(1700000000.25));
    ErrorReporter reporter(dir.path / "state");
    reporter.capture(sampleEvent());
    reporter.capture(sampleEvent("Second / \"quoted\"\nline"));

    const auto lines = readLines(reporter.reportsPath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["domain"], "zk.GeneralError.GeneralError");
    EXPECT_EQ(lines[0]["code"], -4242);
    EXPECT_EQ(lines[0]["message"], "The file could not be saved.");
    EXPECT_EQ(lines[0]["file"], "app/Export.cpp");
    EXPECT_EQ(lines[0]["line"], 12);
    EXPECT_EQ(lines[0]["userInfo"]["codeString"], "GeneralError");
    EXPECT_EQ(lines[0]["time"], "2023-11-14T22:13:20.250Z");
    EXPECT_EQ(lines[1]["message"], "Second / \"quoted\"\nline");
}

TEST(ErrorReporterTest, TextThatIsNoUtf8IsStillWritten)
{
    TempDir dir;
    ErrorReporter reporter(dir.path);
    ErrorEvent event = sampleEvent(std::string("bad \xff byte"));
    event.userInfo["path\xfe"] = "x\xc3";
    reporter.capture(event);
    const auto lines = readLines(reporter.reportsPath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["message"], "bad \uFFFD byte");
    EXPECT_EQ(lines[0]["userInfo"]["path\uFFFD"], "x\uFFFD");
}

TEST(ErrorReporterTest, RotatesPastTheLimitKeepingOneOldFile)
{
    TempDir dir;
    ErrorReporter reporter(dir.path);
    const std::string big(4000, 'x');
    std::size_t written = 0;
    int count = 0;
    while (written < 2 * ErrorReporter::maxFileSize + 100000) {
        reporter.capture(sampleEvent(big + std::to_string(count++)));
        written += big.size();
        ASSERT_LE(fs::file_size(reporter.reportsPath()), ErrorReporter::maxFileSize);
    }
    ASSERT_TRUE(fs::exists(reporter.rotatedReportsPath()));
    EXPECT_LE(fs::file_size(reporter.rotatedReportsPath()), ErrorReporter::maxFileSize);
    EXPECT_GT(fs::file_size(reporter.rotatedReportsPath()), ErrorReporter::maxFileSize - 10000);
    // Only the current file and one old file are kept.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path)) {
        ++files;
    }
    EXPECT_EQ(files, 2u);
    // Nothing is lost at the seam: the newest line of the old file precedes the first of the new one.
    const auto current = readLines(reporter.reportsPath());
    const auto old = readLines(reporter.rotatedReportsPath());
    ASSERT_FALSE(current.empty());
    ASSERT_FALSE(old.empty());
    const auto numberOf = [&](const platform::JsonValue& line) {
        return std::stoi(line["message"].get<std::string>().substr(big.size()));
    };
    EXPECT_EQ(numberOf(old.back()) + 1, numberOf(current.front()));
    EXPECT_EQ(numberOf(current.back()), count - 1);
}

TEST(ErrorReporterTest, ConcurrentCapturesWriteWholeLines)
{
    TempDir dir;
    ErrorReporter reporter(dir.path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&reporter, t] {
            for (int i = 0; i < 50; ++i) {
                reporter.capture(sampleEvent("thread " + std::to_string(t) + " event " + std::to_string(i)));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(readLines(reporter.reportsPath()).size(), 400u);
}

TEST(ErrorReporterTest, CrashMarkerAcrossRuns)
{
    TempDir dir;
    {
        // First run ever: no marker, so no crash; it then dies without a clean exit.
        ErrorReporter firstRun(dir.path);
        EXPECT_FALSE(firstRun.lastRunCrashed());
        firstRun.markLaunch();
        EXPECT_FALSE(firstRun.lastRunCrashed());
        EXPECT_TRUE(fs::exists(firstRun.markerPath()));
    }
    {
        ErrorReporter secondRun(dir.path);
        secondRun.markLaunch();
        EXPECT_TRUE(secondRun.lastRunCrashed());
        secondRun.markCleanExit();
        EXPECT_FALSE(fs::exists(secondRun.markerPath()));
        // What this run learnt at launch stays true for the rest of it.
        EXPECT_TRUE(secondRun.lastRunCrashed());
    }
    {
        ErrorReporter thirdRun(dir.path);
        thirdRun.markLaunch();
        EXPECT_FALSE(thirdRun.lastRunCrashed());
        thirdRun.markCleanExit();
    }
}

TEST(ErrorReporterTest, UnwritableFolderIsLoggedNotThrown)
{
    TempDir dir;
    const fs::path blocker = dir.path / "file";
    std::ofstream(blocker) << "not a folder";
    ErrorReporter reporter(blocker / "state");
    EXPECT_NO_THROW(reporter.capture(sampleEvent()));
    EXPECT_NO_THROW(reporter.markLaunch());
    EXPECT_NO_THROW(reporter.markCleanExit());
    EXPECT_FALSE(fs::exists(reporter.reportsPath()));
}

TEST(ErrorReporterTest, DefaultDirectoryFollowsTheEnvironment)
{
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    };
    const auto stateDir = saved("KIRUVO_STATE_DIR");
    const auto xdg = saved("XDG_STATE_HOME");
    const auto home = saved("HOME");

    ::setenv("KIRUVO_STATE_DIR", "/tmp/override", 1);
    EXPECT_EQ(ErrorReporter::defaultDirectory(), fs::path("/tmp/override"));
    ::unsetenv("KIRUVO_STATE_DIR");
    ::setenv("XDG_STATE_HOME", "/xdg/state", 1);
    EXPECT_EQ(ErrorReporter::defaultDirectory(), fs::path("/xdg/state/kiruvo"));
    ::setenv("XDG_STATE_HOME", "relative", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(ErrorReporter::defaultDirectory(), fs::path("/home/someone/.local/state/kiruvo"));
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(ErrorReporter::defaultDirectory(), fs::path("/home/someone/.local/state/kiruvo"));
    // Without $HOME the account's own home holds them, never a folder shared by every user.
    ::unsetenv("HOME");
    if (const passwd* account = ::getpwuid(::geteuid());
        account && account->pw_dir && account->pw_dir[0] == '/') {
        EXPECT_EQ(ErrorReporter::defaultDirectory(), fs::path(account->pw_dir) / ".local/state/kiruvo");
    }

    restore("KIRUVO_STATE_DIR", stateDir);
    restore("XDG_STATE_HOME", xdg);
    restore("HOME", home);
}

TEST(ErrorReporterTest, SharedCanBeReplaced)
{
    TempDir dir;
    ErrorReporter replacement(dir.path);
    ErrorReporter::setShared(&replacement);
    EXPECT_EQ(&ErrorReporter::shared(), &replacement);
    ErrorReporter::setShared(nullptr);
    EXPECT_NE(&ErrorReporter::shared(), &replacement);
}

namespace {

constexpr uid_t otherUser = 65534; // nobody

mode_t modeOf(const fs::path& path)
{
    struct stat status { };
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

std::string contentsOf(const fs::path& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What another user of the machine can leave in a folder every user may write to: a folder of the
// reporter's name, theirs and open to all, with a link in it to a file of theirs.
struct PlantedFolder {
    explicit PlantedFolder(const fs::path& shared)
        : folder(shared / "kiruvo-state")
        , victim(shared / "their-file")
    {
        std::ofstream(victim) << "theirs\n";
        fs::create_directory(folder);
        fs::create_symlink(victim, folder / ErrorReporter::reportsFileName);
        fs::create_symlink(victim, folder / ErrorReporter::markerFileName);
        ::chmod(folder.c_str(), 0777);
        EXPECT_EQ(::lchown(folder.c_str(), otherUser, otherUser), 0);
        EXPECT_EQ(::lchown(victim.c_str(), otherUser, otherUser), 0);
    }
    fs::path folder;
    fs::path victim;
};

} // namespace

TEST(ErrorReporterTest, AFolderOfAnotherUserIsNeverWrittenThrough)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a folder to another user takes root";
    }
    TempDir shared;
    ::chmod(shared.path.c_str(), 01777);
    const PlantedFolder planted(shared.path);
    ErrorReporter reporter(planted.folder);
    reporter.capture(sampleEvent());
    reporter.markLaunch();
    EXPECT_EQ(contentsOf(planted.victim), "theirs\n") << "written through another user's link";
    EXPECT_TRUE(fs::is_symlink(planted.folder / ErrorReporter::reportsFileName));
    EXPECT_EQ(modeOf(planted.folder), 0777u) << "another user's folder is left as it is";

    // Nor when the folder itself is a link to theirs.
    const fs::path linked = shared.path / "linked-state";
    fs::create_symlink(planted.folder, linked);
    ErrorReporter throughLink(linked);
    throughLink.capture(sampleEvent());
    throughLink.markLaunch();
    EXPECT_EQ(contentsOf(planted.victim), "theirs\n");
}

TEST(ErrorReporterTest, ReportsAreTheUsersOwnAndNoLinkIsFollowed)
{
    TempDir dir;
    const mode_t saved = ::umask(022);
    const fs::path state = dir.path / "state" / "kiruvo";
    ErrorReporter reporter(state);
    reporter.markLaunch();
    reporter.capture(sampleEvent());
    EXPECT_EQ(modeOf(dir.path / "state"), 0700u);
    EXPECT_EQ(modeOf(state), 0700u);
    EXPECT_EQ(modeOf(reporter.reportsPath()), 0600u);
    EXPECT_EQ(modeOf(reporter.markerPath()), 0600u);
    EXPECT_EQ(readLines(reporter.reportsPath()).size(), 1u);

    // A folder of the user's own that is open to others is closed before anything goes in.
    const fs::path open = dir.path / "open";
    fs::create_directory(open);
    ::chmod(open.c_str(), 0755);
    ErrorReporter(open).capture(sampleEvent());
    EXPECT_EQ(modeOf(open), 0700u);

    // A link in place of the reports file is not followed, even in a folder of one's own.
    const fs::path elsewhere = dir.path / "elsewhere";
    std::ofstream(elsewhere) << "kept\n";
    fs::remove(reporter.reportsPath());
    fs::create_symlink(elsewhere, reporter.reportsPath());
    reporter.capture(sampleEvent());
    EXPECT_EQ(contentsOf(elsewhere), "kept\n");
    ::umask(saved);
}
