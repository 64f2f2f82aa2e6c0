#include "kit/foundation/CLI.h"
#include "kit/foundation/Terminal.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <unistd.h>

namespace {

// A stream holding `text`, read from the start.
std::FILE* streamWith(const std::string& text)
{
    std::FILE* stream = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    return stream;
}

std::string contents(std::FILE* stream)
{
    std::rewind(stream);
    std::string text;
    char buffer[256];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        text.append(buffer, read);
    }
    return text;
}

} // namespace

TEST(CLITest, PositionalArgumentsOptionsAndTheEndOfTheParse)
{
    const auto parsed
        = zk::CLI::parseArguments({ "a", "--verbose", "--out", "file", "b", "--", "--late", "c" });
    EXPECT_EQ(parsed.positional, (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(parsed.options.size(), 2u);
    EXPECT_EQ(parsed.options.at("verbose"), zk::CLI::OptionValue(true));
    EXPECT_EQ(parsed.options.at("out"), zk::CLI::OptionValue(std::string("file")));
}

// The test program is started without options (ctest gives at most gtest's own "--gtest_..."
// flags), so what the kit reads must be this very process's command line.
TEST(CLITest, ArgumentsNameAndProgramComeFromTheProcessItself)
{
    std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> expected;
    std::string argument;
    while (std::getline(cmdline, argument, '\0')) {
        expected.push_back(argument);
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(zk::CLI::processArguments(), expected);
    EXPECT_EQ(zk::CLI::arguments(), std::vector<std::string>(expected.begin() + 1, expected.end()));
    for (const auto& each : zk::CLI::arguments()) {
        if (each.starts_with("--") && each != "--") {
            EXPECT_TRUE(zk::CLI::hasOption(each.substr(2))) << each;
        }
    }
    EXPECT_FALSE(zk::CLI::hasOption("no-such-option"));

    const QString executable = QFileInfo("/proc/self/exe").canonicalFilePath();
    EXPECT_EQ(zk::CLI::name(), QFileInfo(QString::fromStdString(expected.front())).fileName().toStdString());
    const QUrl program = zk::CLI::programURL();
    EXPECT_TRUE(program.isLocalFile());
    EXPECT_FALSE(program.path().endsWith('/'));
    EXPECT_EQ(QFileInfo(program.toLocalFile()).canonicalFilePath(), executable);
}

TEST(CLITest, TheCurrentDirectoryIsAskedAnewEachTime)
{
    const QString before = QDir::currentPath();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const QUrl url = zk::CLI::currentDirectoryURL();
    QDir::setCurrent(before);
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_TRUE(url.path().endsWith('/'));
    EXPECT_EQ(QFileInfo(url.toLocalFile()).canonicalFilePath(), QFileInfo(folder.path()).canonicalFilePath());
    EXPECT_EQ(QFileInfo(zk::CLI::currentDirectoryURL().toLocalFile()).canonicalFilePath(),
        QFileInfo(before).canonicalFilePath());
}

TEST(CLITest, AvailableInputIsWhatThePipeHoldsWithoutWaitingForItsEnd)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::FILE* input = ::fdopen(ends[0], "r");
    const std::string lines = "first\nsecond\n";
    ASSERT_EQ(::write(ends[1], lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    zk::CLI::standardInput = input;
    // The writer stays open: reading to the end would never return.
    EXPECT_EQ(zk::CLI::readInput(), "first\nsecond");
    ASSERT_EQ(::write(ends[1], "third", 5), 5);
    ::close(ends[1]);
    EXPECT_EQ(zk::CLI::availableInputData(), "third");
    EXPECT_EQ(zk::CLI::availableInputData(), ""); // the input has ended
    zk::CLI::standardInput = stdin;
    std::fclose(input);
}

TEST(CLITest, ATerminalIsWrittenThroughItsHandle)
{
    std::FILE* output = std::tmpfile();
    const zk::Terminal terminal(output);
    zk::CLI::print(terminal.fileHandle, " ", "\n", "ready", 3);
    EXPECT_EQ(contents(output), "ready 3\n");
    std::fclose(output);
}

TEST(CLITest, InputLosesOneTrailingLineFeedAndMustBeUtf8)
{
    std::FILE* input = streamWith("first\nsecond\n");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readInput(), "first\nsecond");
    std::fclose(input);

    input = streamWith("one\ntwo");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readLine(), "one");
    EXPECT_EQ(zk::CLI::readLine(false), "two");
    EXPECT_EQ(zk::CLI::readLine(), std::nullopt);
    std::fclose(input);

    // What a line reader has read ahead is not lost to the available input.
    input = streamWith("head\nrest\n");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readLine(), "head");
    EXPECT_EQ(zk::CLI::readInput(), "rest");
    std::fclose(input);

    input = streamWith("\xff\xfe");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readInput(), std::nullopt);
    std::fclose(input);
    zk::CLI::standardInput = stdin;
}

TEST(CLITest, PrintingJoinsTheValues)
{
    std::FILE* output = std::tmpfile();
    zk::CLI::print(output, ", ", ".\n", "a", 1, 2.5, true);
    EXPECT_EQ(contents(output), "a, 1, 2.5, true.\n");
    std::fclose(output);
}

TEST(CLIDeathTest, AFailingBodyEndsTheProgramWithItsMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(zk::CLI::exitOnError([] { throw std::runtime_error("no input file"); }),
        testing::ExitedWithCode(1), "no input file");
    int ran = 0;
    zk::CLI::exitOnError([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

// Runs in a child process: it gives up rights the test program must keep.
TEST(CLIDeathTest, SudoRightsAreGivenUpGroupsFirstAndUserLast)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the rights up";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("SUDO_UID", "65534", 1);
            ::setenv("SUDO_GID", "65533", 1);
            zk::CLI::dropSudoPrivileges();
            const bool dropped = ::getuid() == 65534 && ::geteuid() == 65534 && ::getgid() == 65533
                && ::getegid() == 65533 && ::getgroups(0, nullptr) == 0;
            std::fprintf(stderr, dropped ? "dropped\n" : "kept\n");
            std::_Exit(dropped ? 0 : 2);
        },
        testing::ExitedWithCode(0), "dropped");
}

TEST(CLIDeathTest, AStepThatFailsStopsTheProgramInsteadOfGoingOnPrivileged)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // An unprivileged process, as a sudo whose rights were taken already would be: none
            // of the steps may succeed.
            if (::geteuid() == 0) {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                    std::_Exit(3);
                }
            }
            ::setenv("SUDO_UID", "12345", 1);
            ::setenv("SUDO_GID", "12345", 1);
            zk::CLI::dropSudoPrivileges();
            std::_Exit(0);
        },
        testing::ExitedWithCode(1), "Could not give up the rights of sudo");
}

TEST(CLITest, SudoIdentityIsDroppedOnlyForAValidNumber)
{
    const uid_t before = ::getuid();
    for (const char* value : { "not a number", "4294967296", "", "12abc" }) {
        ::setenv("SUDO_UID", value, 1);
        zk::CLI::dropSudoPrivileges();
        EXPECT_EQ(::getuid(), before) << value;
    }
    ::unsetenv("SUDO_UID");
    zk::CLI::dropSudoPrivileges();
    EXPECT_EQ(::getuid(), before);
}
